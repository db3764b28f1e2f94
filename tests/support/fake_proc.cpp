// SPDX-License-Identifier: MIT
#include "support/fake_proc.h"

#include <filesystem>
#include <fstream>

namespace pelmora::testing_support {

namespace fs = std::filesystem;

std::string StatLine(const StatFields& f) {
  return f.pid + " (" + f.comm + ") S " + f.ppid + " " + f.pid + " 4020 0 -1 " + f.flags +
         " 98 0 0 0 0 0 0 0 " + f.priority + " 0 " + f.threads + " 0 " + f.starttime +
         " 3133440 412 18446744073709551615 94312755691520 94312755711401 140727823871216 0 0 0 0"
         " 0 0 0 0 0 17 1 0 0 0 0 0 94312755727408 94312755729024 " +
         f.startBrk + " " + f.argStart + " 140727823874523 140727823874523 140727823876075 0\n";
}

std::string StatLine(int64_t pid, const std::string& comm, const char* flags) {
  return StatLine({.pid = std::to_string(pid),
                   .comm = comm,
                   .flags = flags,
                   .threads = std::to_string(pid % 7 + 1),
                   .starttime = std::to_string(pid * 100),
                   .startBrk = std::to_string(pid * 4096)});
}

FakeProc::FakeProc() : root_(dir_.Root() + "/proc") { fs::create_directories(root_); }

void FakeProc::Write(const std::string& pid, const std::string& file, const std::string& text) {
  fs::create_directories(Dir(pid));
  std::ofstream(Dir(pid) + "/" + file, std::ios::binary | std::ios::trunc) << text;
}

void FakeProc::Link(const std::string& pid, const std::string& target) {
  fs::create_directories(Dir(pid));
  fs::create_symlink(target, Dir(pid) + "/exe");
}

void FakeProc::Fds(const std::string& pid, int count) {
  fs::create_directories(Dir(pid) + "/fd");
  for (int i = 0; i < count; ++i) {
    fs::create_symlink("/dev/null", Dir(pid) + "/fd/" + std::to_string(i));
  }
}

void FakeProc::Remove(const std::string& pid) { fs::remove_all(Dir(pid)); }

void FakeProc::Process(int64_t pid, const std::string& comm, const std::string& link,
                       const std::string& cmdline, const char* flags) {
  const std::string name = std::to_string(pid);
  Write(name, "stat", StatLine(pid, comm, flags));
  if (!link.empty()) Link(name, link);
  if (!cmdline.empty()) Write(name, "cmdline", cmdline);
}

std::vector<std::string> CheckPaths(platform::ProcessSnapshot& snapshot) {
  std::vector<std::string> paths;
  base::SharedText path;
  for (bool ok = snapshot.PathFirst(path); ok; ok = snapshot.PathNext(path)) {
    paths.emplace_back(path.view());
  }
  return paths;
}

std::vector<platform::ProcessEntry> Rows(platform::ProcessSnapshot& snapshot) {
  std::vector<platform::ProcessEntry> rows;
  platform::ProcessEntry entry;
  for (bool ok = snapshot.Process32First(entry); ok; ok = snapshot.Process32Next(entry)) {
    rows.push_back(entry);
  }
  return rows;
}

std::vector<std::string> RowPaths(platform::ProcessSnapshot& snapshot) {
  std::vector<std::string> paths;
  for (const auto& row : Rows(snapshot)) paths.emplace_back(row.szExeFile.view());
  return paths;
}

}  // namespace pelmora::testing_support
