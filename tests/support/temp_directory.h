// A fresh directory for one test, removed with everything in it at the end,
// and a change of the working directory that is undone at the end.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("podiant-config-" + std::to_string(random() % 1000000000));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Writes `bytes` exactly (no line-end translation) to `name` in the directory.
  std::string WriteFile(const std::string& name, const std::string& bytes) const {
    std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

class WorkingDirectoryChange {
 public:
  explicit WorkingDirectoryChange(const std::filesystem::path& to)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(to);
  }
  ~WorkingDirectoryChange() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  WorkingDirectoryChange(const WorkingDirectoryChange&) = delete;
  WorkingDirectoryChange& operator=(const WorkingDirectoryChange&) = delete;

 private:
  std::filesystem::path previous_;
};
