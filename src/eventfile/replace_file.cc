#include "eventfile/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The system's own limit on links in a row; past it, looking the file up
// fails with a "too many levels of symbolic links" error.
constexpr int kMaxLinks = 40;

// Follows links so that a link stays a link and its target receives the new
// content, as when a file is written in place.
fs::path FollowLinks(fs::path path) {
  std::error_code ec;
  for (int i = 0; i < kMaxLinks && fs::is_symlink(fs::symlink_status(path, ec));
       ++i) {
    fs::path to = fs::read_symlink(path, ec);
    if (ec) break;
    path = path.parent_path() / to;  // an absolute target replaces the whole
  }
  return path;
}

bool Fail(const std::string& name, const std::string& reason,
          std::string* err) {
  *err = "cannot write " + name + ": " + reason;
  return false;
}

}  // namespace

bool BeginReplaceFile(const std::string& name, FileReplacement* replacement,
                      std::string* err) {
  replacement->name = name;
  replacement->path = FollowLinks(name);

  // An existing file that could not be written in place is not replaced
  // either: a read-only file is the user's choice, and a folder or a device
  // is not ours to swap for a file.
  std::error_code ec;
  const fs::file_status status = fs::status(replacement->path, ec);
  if (status.type() != fs::file_type::not_found) {
    if (ec) return Fail(name, ec.message(), err);
    if (fs::is_directory(status)) return Fail(name, std::strerror(EISDIR), err);
    if (!fs::is_regular_file(status)) {
      return Fail(name, "not a regular file", err);
    }
    if (!CanWriteFile(replacement->path)) {
      return Fail(name, std::strerror(errno), err);
    }
  }
  if (!CreateTempFile(replacement->path, &replacement->temp)) {
    return Fail(name, std::strerror(errno), err);
  }
  return true;
}

bool FinishReplaceFile(FileReplacement* replacement, std::string_view content,
                       std::string* err) {
  TempFile* temp = &replacement->temp;
  if (WriteTempFile(*temp, content) && SyncAndCloseTempFile(temp) &&
      RenameTempFile(temp, replacement->path)) {
    return true;
  }
  const int error = errno;
  RemoveTempFile(temp);
  return Fail(replacement->name, std::strerror(error), err);
}

bool ReadWholeFile(const fs::path& path, std::string* content) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    errno = EISDIR;
    return false;
  }
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (file == nullptr) return false;
  content->clear();
  char buffer[16384];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    content->append(buffer, got);
  }
  const bool read = !std::ferror(file);
  const int read_errno = errno;
  std::fclose(file);
  errno = read_errno;
  return read;
}
