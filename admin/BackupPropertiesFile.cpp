// Writer and reader of the backup properties file.
#include "admin/BackupPropertiesFile.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace VLT_121 {

namespace {

constexpr std::string_view kPropertiesFilePrefix = "TALIX_BackedUp_Properties_";

bool startsWith(const std::string& text, std::string_view prefix);
std::vector<std::string> splitTokens(const std::string& bytes);
long readLong(const std::string& token);
void appendToken(std::string& out, const std::string& token);

// The restore's walk over the property tokens: a token beginning "m_" closes
// the current property and names the next; other tokens are its values.
class PropertyWalk {
 public:
  explicit PropertyWalk(std::vector<BackupProperty>& out) : m_out(out) {}
  void token(const std::string& token);
  void finish() { close(); }

 private:
  void close();

  std::vector<BackupProperty>& m_out;
  bool m_bHasName = false;
  BackupProperty m_pending;
};

}  // namespace

std::string backupPropertiesFileName() {
  return std::string(kPropertiesFilePrefix) + std::string(kBackupFolderMarker);
}

std::string backupDirectorySuffix() { return "_" + std::string(kBackupFolderMarker); }

std::string withoutBackupDirectorySuffix(const std::string& path) {
  const std::string suffix = backupDirectorySuffix();
  if (path.size() > suffix.size() &&
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return path.substr(0, path.size() - suffix.size());
  }
  return path;
}

BackupPropertyKind backupPropertyKind(const std::string& name) {
  if (startsWith(name, "m_sz")) return BackupPropertyKind::String;
  if (startsWith(name, "m_i")) return BackupPropertyKind::Integer;
  if (startsWith(name, "m_asz")) return BackupPropertyKind::List;
  return BackupPropertyKind::Ignored;
}

std::string formatBackupProperties(int depth, const std::vector<BackupProperty>& properties) {
  std::string out;
  appendToken(out, std::string(kBackupFolderMarker));
  appendToken(out, std::to_string(depth));
  for (const BackupProperty& property : properties) {
    switch (backupPropertyKind(property.name)) {
      case BackupPropertyKind::String:
        appendToken(out, property.name);
        appendToken(out, property.text);
        break;
      case BackupPropertyKind::Integer:
        appendToken(out, property.name);
        appendToken(out, std::to_string(property.number));
        break;
      case BackupPropertyKind::List:
        appendToken(out, property.name);
        for (const std::string& item : property.list) appendToken(out, item);
        break;
      case BackupPropertyKind::Ignored:
        break;
    }
  }
  return out;
}

bool parseBackupProperties(const std::string& bytes, BackupPropertiesFile& out) {
  const std::vector<std::string> tokens = splitTokens(bytes);
  if (tokens.size() < 2 || tokens[0] != kBackupFolderMarker) return false;
  out.marker = tokens[0];
  out.depth = readLong(tokens[1]);
  out.properties.clear();
  PropertyWalk walk(out.properties);
  for (std::size_t i = 2; i < tokens.size(); ++i) walk.token(tokens[i]);
  walk.finish();
  return true;
}

int slashDepth(const std::string& path) {
  return static_cast<int>(std::count(path.begin(), path.end(), '/'));
}

namespace {

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Tokens end at zero bytes; empty ones are dropped, and trailing bytes
// without a zero byte still make a token.
std::vector<std::string> splitTokens(const std::string& bytes) {
  std::vector<std::string> tokens;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\0', start);
    if (end == std::string::npos) end = bytes.size();
    if (end > start) tokens.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return tokens;
}

// atol's reading (leading blanks, sign, digits, 0 when none) without its
// undefined behaviour on overflow: strtol clamps instead.
long readLong(const std::string& token) { return std::strtol(token.c_str(), nullptr, 10); }

void appendToken(std::string& out, const std::string& token) {
  out += token;
  out += '\0';
}

void PropertyWalk::token(const std::string& token) {
  if (startsWith(token, "m_")) {
    close();
    m_bHasName = true;
    m_pending.name = token;
    m_pending.kind = backupPropertyKind(token);
    m_pending.number = m_pending.kind == BackupPropertyKind::Integer ? -1 : 0;
    return;
  }
  if (!m_bHasName) return;  // values before the first name
  switch (m_pending.kind) {
    case BackupPropertyKind::String:
      m_pending.text = token;
      break;
    case BackupPropertyKind::Integer:
      m_pending.number = readLong(token);
      break;
    case BackupPropertyKind::List:
      m_pending.list.push_back(token);
      break;
    case BackupPropertyKind::Ignored:
      break;
  }
}

// Ends the current property: kept when its kind is stored, dropped with its
// values otherwise; the pending values start afresh.
void PropertyWalk::close() {
  if (m_bHasName && m_pending.kind != BackupPropertyKind::Ignored) {
    m_out.push_back(std::move(m_pending));
  }
  m_pending = BackupProperty();
  m_bHasName = false;
}

}  // namespace

}  // namespace VLT_121
