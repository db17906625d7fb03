// Writing and reading the property-carrying folders of the catalogue: one
// folder with its properties, the port and parameter folders of a model or
// solver, and reading them back into arrays.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QuillonBinding;

namespace VLT_121 {

class CRepositoryClient;
class CRepositoryObject;
class CVLTModel;
class CVLTPort;
class CVLTParameter;

namespace folders {

// Creates folder `name` (type "Folder") in `parent`, `fill` declaring and
// setting its properties first. The new path, or "" on failure.
std::string create(QuillonBinding* binding, const std::string& parent, const std::string& name,
                   const std::function<void(CRepositoryObject&)>& fill = {});

// "Ports" in `ownerPath` and one folder per port of `owner`: 0, `folderCode`
// when "Ports" was not made, `portCode` at the first port not made.
int writePorts(QuillonBinding* binding, const std::string& ownerPath, const CVLTModel& owner, int folderCode,
               int portCode);
// The same for "Parameters"; solver parameters carry their own properties.
int writeParameters(QuillonBinding* binding, const std::string& ownerPath, const CVLTModel& owner,
                    bool solverParameters, int folderCode, int parameterCode);

// Child names of the folder at `path`; false when there is no such folder.
bool childNames(CRepositoryClient& repository, const std::string& path, std::vector<std::string>& names);

// As childNames, but throws RepositoryUnanswered when the server did not answer.
bool existingChildNames(CRepositoryClient& repository, const std::string& path, std::vector<std::string>& names);

// Reads the port folders named in `names` below `folderPath` into `ports`
// (at least names.size() long) in order; a folder that has vanished since it
// was listed is skipped, one that could not be read throws RepositoryUnanswered.
// Returns how many were read.
int readPorts(CRepositoryClient& repository, const std::string& folderPath,
              const std::vector<std::string>& names, CVLTPort* ports);
int readParameters(CRepositoryClient& repository, const std::string& folderPath,
                   const std::vector<std::string>& names, CVLTParameter* parameters);

}  // namespace folders
}  // namespace VLT_121
