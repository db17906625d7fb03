// Result codes of the operations that change the repository or the local disk.
// One numbering for the whole library; 0 is success. 13 is not used.
#pragma once

#include "talixdbapi/Export.h"

namespace VLT_121 {

// A short English text for a result code, for messages ("the model exists
// already" for 24, "success" for 0, "unknown result code" for a number that
// is not one of the codes below). A static text: never null, never freed.
TALIXDBAPI_EXPORT const char* getResultText(int code);
namespace ResultCode {

constexpr int kSuccess = 0;
constexpr int kRootFolderNotMade = 1;  // createTalixDb: root there already or not made
constexpr int kCategoryNotMade = 2;
constexpr int kTypeNotMade = 3;
constexpr int kModelNotMade = 4;
constexpr int kModelPortsNotMade = 5;
constexpr int kModelPortNotMade = 6;
constexpr int kModelParametersNotMade = 7;
constexpr int kModelParameterNotMade = 8;
constexpr int kSolverNotMade = 9;
constexpr int kSolverPortsNotMade = 10;
constexpr int kSolverPortOrParameterNotMade = 11;
constexpr int kSolverParametersNotMade = 12;
constexpr int kModelMissing = 14;
constexpr int kParameterIncompatible = 15;
constexpr int kPortIncompatible = 16;
constexpr int kComponentsIncompatible = 17;
constexpr int kFileSystemFolderNotMade = 18;
constexpr int kTreeFolderNotMade = 19;
constexpr int kFileNotUploaded = 20;
constexpr int kSolverMissing = 21;
constexpr int kFileSystemNotOption = 22;
constexpr int kSolverExists = 23;
constexpr int kModelExists = 24;
constexpr int kPreComputedEntryNotMade = 25;
constexpr int kFileNotDownloaded = 26;
constexpr int kInstanceNotMade = 27;
constexpr int kNotFound = 28;
constexpr int kLocalNotMade = 29;
constexpr int kRestoreFailed = 30;

}  // namespace ResultCode
}  // namespace VLT_121
