// Short English texts for the result codes, for a host's messages.
#include "talixdbapi/ResultCodes.h"

namespace VLT_121 {

const char* getResultText(int code) {
  namespace rc = ResultCode;
  switch (code) {
    case rc::kSuccess: return "success";
    case rc::kRootFolderNotMade: return "the database root was there already or was not made";
    case rc::kCategoryNotMade: return "the category folder was not made";
    case rc::kTypeNotMade: return "the type folder was not made";
    case rc::kModelNotMade: return "the model folder was not made";
    case rc::kModelPortsNotMade: return "the model's Ports folder was not made";
    case rc::kModelPortNotMade: return "a model port folder was not made";
    case rc::kModelParametersNotMade: return "the model's Parameters folder was not made";
    case rc::kModelParameterNotMade: return "a model parameter folder was not made";
    case rc::kSolverNotMade: return "the solver folder was not made";
    case rc::kSolverPortsNotMade: return "the solver's Ports folder was not made";
    case rc::kSolverPortOrParameterNotMade: return "a solver port or parameter folder was not made";
    case rc::kSolverParametersNotMade: return "the solver's Parameters folder was not made";
    case rc::kModelMissing: return "the model does not exist";
    case rc::kParameterIncompatible: return "a parameter does not match the model";
    case rc::kPortIncompatible: return "a port does not match the model";
    case rc::kComponentsIncompatible: return "the components (species) do not match the model";
    case rc::kFileSystemFolderNotMade: return "the solver's FileSystem folder was not made";
    case rc::kTreeFolderNotMade: return "a folder of the file tree was not made";
    case rc::kFileNotUploaded: return "a file was not uploaded";
    case rc::kSolverMissing: return "the solver has no name or does not exist";
    case rc::kFileSystemNotOption: return "the solver's \"file-system\" parameter is not of type CAPE_OPTION";
    case rc::kSolverExists: return "the solver exists already";
    case rc::kModelExists: return "the model exists already";
    case rc::kPreComputedEntryNotMade: return "the precomputed-result entry was not made";
    case rc::kFileNotDownloaded: return "a file was not downloaded";
    case rc::kInstanceNotMade: return "the instance folder was not made";
    case rc::kNotFound: return "a repository folder or object was not found";
    case rc::kLocalNotMade: return "a local directory or backup properties file was not made";
    case rc::kRestoreFailed: return "the restore failed";
    default: return "unknown result code";
  }
}

}  // namespace VLT_121
