// A temporary folder, and the application bundles the tests build in it: Info.plist files in XML,
// bundles that can be launched.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

/// A fresh folder under the system's temporary folder, removed with all it holds at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tovrin-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }

  /// The absolute path of `relative` inside the folder.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  /// Makes the folder `relative` and every folder above it.
  std::string makeFolder(const std::string& relative) const {
    std::filesystem::create_directories(*this / relative);
    return *this / relative;
  }

  /// Writes `bytes` to the file `relative`, making the folders above it.
  std::string write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path file = *this / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

  /// Makes an application bundle at `relative` with `info` as its Contents/Info.plist.
  std::string makeBundle(const std::string& relative, const std::string& info) const {
    write(relative + "/Contents/Info.plist", info);
    return *this / relative;
  }

 private:
  std::string path_;
};

/// The contents of a file.
inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// An XML property list whose root dictionary maps each key to a string.
inline std::string xmlInfoPlist(const std::vector<std::pair<std::string, std::string>>& texts) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n";
  const auto escaped = [](const std::string& text) {
    std::string out;
    for (const char c : text) {
      if (c == '&')
        out += "&amp;";
      else if (c == '<')
        out += "&lt;";
      else if (c == '>')
        out += "&gt;";
      else
        out += c;
    }
    return out;
  };
  for (const auto& [key, value] : texts) {
    xml += "\t<key>" + escaped(key) + "</key>\n\t<string>" + escaped(value) + "</string>\n";
  }
  return xml + "</dict>\n</plist>\n";
}

/// Makes an application bundle at `relative` inside `home` that can be launched: `info` (with a
/// "CFBundleExecutable" entry added) as its Info.plist, and a copy of `program` as its executable.
/// Returns the executable's path.
inline std::string installLaunchable(const TempFolder& home, const std::string& relative,
                                     std::vector<std::pair<std::string, std::string>> info,
                                     const std::string& program) {
  info.emplace_back("CFBundleExecutable", "runner");
  const std::string bundle = home.makeBundle(relative, xmlInfoPlist(info));
  const std::string executable = bundle + "/Contents/MacOS/runner";
  std::filesystem::create_directories(bundle + "/Contents/MacOS");
  std::filesystem::copy_file(program, executable);
  return executable;
}

}  // namespace testing_support
