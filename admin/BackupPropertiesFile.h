// The properties file of a folder backup: the marker, the folder's depth and
// its typed properties as zero-terminated tokens. The backup writes it and the
// restore reads it; both go through this file so they agree byte for byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace VLT_121 {

// First token of every properties file, and the root of the two names below.
inline constexpr std::string_view kBackupFolderMarker = "EF64F6C7-2C4F-4559-9ADF-61B0C85169CF";

// "TALIX_BackedUp_Properties_" + marker: the properties file in every backup
// directory.
std::string backupPropertiesFileName();
// "_" + marker: added to a local directory name the platform refuses.
std::string backupDirectorySuffix();
// `path` without a trailing directory suffix, when it is longer than the
// suffix and ends with it; otherwise `path` unchanged.
std::string withoutBackupDirectorySuffix(const std::string& path);

// How a property travels, from its name's prefix (first match wins): "m_sz"
// one string, "m_i" one integer, "m_asz" a list; any other name is not stored.
enum class BackupPropertyKind { String, Integer, List, Ignored };
BackupPropertyKind backupPropertyKind(const std::string& name);

struct BackupProperty {
  std::string name;
  BackupPropertyKind kind = BackupPropertyKind::Ignored;
  std::string text;               // String
  long number = 0;                // Integer
  std::vector<std::string> list;  // List
};

// The file's bytes: the marker, `depth` in decimal, then each property's name
// and value tokens, every token followed by one zero byte. The kind comes from
// the name (the `kind` member is not consulted); properties of the Ignored
// kind are left out. Values are written verbatim: an empty value reads back as
// "" (or is lost from a list), and one beginning "m_" reads back as a name.
std::string formatBackupProperties(int depth, const std::vector<BackupProperty>& properties);

struct BackupPropertiesFile {
  std::string marker;
  long depth = 0;
  std::vector<BackupProperty> properties;  // in the order they close
};

// Splits `bytes` at zero bytes (empty tokens skipped; a last token without a
// zero byte counts) and reads the marker, the depth and the properties the way
// the restore walks them. False, with `out` unspecified, when there are fewer
// than 2 tokens or the first is not the marker; the depth is not checked here.
bool parseBackupProperties(const std::string& bytes, BackupPropertiesFile& out);

// The number of '/' characters in `path`: the depth a backup records.
int slashDepth(const std::string& path);

}  // namespace VLT_121
