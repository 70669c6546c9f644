// A file system in memory for the workbook's parts, with faults on demand:
// an open that fails, or a part whose writes fail as on a full disk.
#pragma once

#include "xlsx/part_output.h"

#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class memory_files : public XlsxModel::part_file_system {
 public:
  std::map<std::wstring, std::shared_ptr<std::string>> files;  // by full path
  std::set<std::wstring> folders;
  std::vector<std::wstring> removed_trees;
  std::wstring fail_open;   // a part name whose open fails
  std::wstring fail_write;  // a part name whose writes fail
  int opens = 0;
  int busy = 0;  // so many folders "exist already" when asked for
  std::vector<std::wstring> busy_names;

  std::unique_ptr<XlsxModel::part_output> open(const std::wstring& path, std::wstring& error) override {
    ++opens;
    if (!fail_open.empty() && ends_with(path, fail_open)) {
      error = L"cannot create \"" + path + L"\": " + XlsxModel::system_error_text(EACCES);
      return nullptr;
    }
    // A part removed while open keeps its content alive, as an unlinked file would.
    files[path] = std::make_shared<std::string>();
    return std::make_unique<output>(files[path], path, !fail_write.empty() && ends_with(path, fail_write));
  }
  int create_folder(const std::wstring& path) override {
    if (busy > 0) {
      --busy;
      busy_names.push_back(path);
      return EEXIST;
    }
    return folders.insert(path).second ? 0 : EEXIST;
  }
  void remove_tree(const std::wstring& path) override {
    removed_trees.push_back(path);
    for (auto it = files.begin(); it != files.end();)
      it = it->first.compare(0, path.size() + 1, path + L"/") == 0 ? files.erase(it) : std::next(it);
    folders.erase(path);
  }

  // The content of the part `name` ("xl/workbook.xml"); empty when absent.
  std::string part(const std::wstring& name) const {
    for (const auto& [path, text] : files)
      if (ends_with(path, L"/" + name)) return *text;
    return std::string();
  }
  bool has_part(const std::wstring& name) const {
    for (const auto& entry : files)
      if (ends_with(entry.first, L"/" + name)) return true;
    return false;
  }

 private:
  static bool ends_with(const std::wstring& s, const std::wstring& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
  }

  class output : public XlsxModel::part_output {
   public:
    output(std::shared_ptr<std::string> target, std::wstring path, bool failing)
        : part_output(512), target(target), path(std::move(path)), failing(failing) {}
    ~output() override { close(); }

   protected:
    bool sink(const char* data, std::size_t size) override {
      if (failing) {
        set_error(L"cannot write \"" + path + L"\": " + XlsxModel::system_error_text(ENOSPC));
        return false;
      }
      target->append(data, size);
      return true;
    }
    bool finish() override { return true; }
    bool sink_at(std::uint64_t offset, const char* data, std::size_t size) override {
      if (failing) return false;
      target->replace(static_cast<std::size_t>(offset), size, data, size);
      return true;
    }

   private:
    std::shared_ptr<std::string> target;
    std::wstring path;
    bool failing;
  };
};
