#include "handle/MemoryRegistry.h"

#include <algorithm>

namespace VLT_121 {

double* CMemoryRegistry::allocDoubles(int n) {
  if (n < 0) return nullptr;
  double* values = new double[static_cast<size_t>(n)]();
  m_lstDoubleArrays.push_back(values);
  return values;
}

void CMemoryRegistry::addBuffer(char* buffer) {
  if (buffer != nullptr) m_lstBuffers.push_back(buffer);
}

bool CMemoryRegistry::release(void* p) {
  if (p == nullptr) return false;
  auto buffer = std::find(m_lstBuffers.begin(), m_lstBuffers.end(), static_cast<char*>(p));
  if (buffer != m_lstBuffers.end()) {
    delete[] *buffer;
    m_lstBuffers.erase(buffer);
    return true;
  }
  auto values = std::find(m_lstDoubleArrays.begin(), m_lstDoubleArrays.end(), static_cast<double*>(p));
  if (values != m_lstDoubleArrays.end()) {
    delete[] *values;
    m_lstDoubleArrays.erase(values);
    return true;
  }
  return false;
}

bool CMemoryRegistry::forget(void* p) {
  auto buffer = std::find(m_lstBuffers.begin(), m_lstBuffers.end(), static_cast<char*>(p));
  if (buffer != m_lstBuffers.end()) {
    m_lstBuffers.erase(buffer);
    return true;
  }
  auto values = std::find(m_lstDoubleArrays.begin(), m_lstDoubleArrays.end(), static_cast<double*>(p));
  if (values != m_lstDoubleArrays.end()) {
    m_lstDoubleArrays.erase(values);
    return true;
  }
  return false;
}

}  // namespace VLT_121
