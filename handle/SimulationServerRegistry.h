// CSimulationServerRegistry: what the handle keeps of the register of
// simulation servers, plus the connection the browse snapshot reads through.
#pragma once

#include <string>
#include <vector>

class QuillonBinding;

namespace VLT_121 {

class CRepositoryClient;

class CSimulationServerRegistry {
 public:
  QuillonBinding* m_pBinding = nullptr;        // not owned; set by open
  CRepositoryClient* m_pRepository = nullptr;  // not owned; set by open
  std::string m_strRootPath;                   // the catalogue root
  std::vector<std::string> m_vecServers;       // names read by the last download
};

}  // namespace VLT_121
