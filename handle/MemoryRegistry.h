// CMemoryRegistry: byte buffers and double arrays handed to the host, kept
// until the host gives them back with releaseMemory.
#pragma once

#include <list>

namespace VLT_121 {

class CMemoryRegistry {
 public:
  CMemoryRegistry() = default;
  // Buffers still registered stay with the caller: they are not freed here.
  ~CMemoryRegistry() = default;
  CMemoryRegistry(const CMemoryRegistry&) = delete;
  CMemoryRegistry& operator=(const CMemoryRegistry&) = delete;

  // n doubles from new[], registered (n < 0 gives null).
  double* allocDoubles(int n);
  // Registers a buffer made with new char[]; null is ignored.
  void addBuffer(char* buffer);
  // Frees a registered buffer or array; false when p was not handed out.
  bool release(void* p);
  // Takes a pointer out of the registry without freeing it.
  bool forget(void* p);

 private:
  std::list<char*> m_lstBuffers;
  std::list<double*> m_lstDoubleArrays;
};

}  // namespace VLT_121
