#include "wizard_test_support.h"

#include <array>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

std::string read_workbook(const std::string& path) {
  std::string cmd = "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/wizard/read_workbook.py' '" + path + "' 2>&1";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    std::array<char, 512> buffer;
    while (std::fgets(buffer.data(), buffer.size(), p)) out += buffer.data();
    pclose(p);
  }
  return out;
}

sqlite_lock_holder::sqlite_lock_holder(const std::string& path) {
  std::string marker = path + ".locked";
  // The holder ends when its input does: at release(), or when this
  // process ends in any way.
  std::string cmd = "/usr/bin/python3 -c '"
                    "import sqlite3, sys\n"
                    "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                    "c.execute(\"BEGIN EXCLUSIVE\")\n"
                    "open(sys.argv[2], \"w\").close()\n"
                    "sys.stdin.read()\n"
                    "' '" + path + "' '" + marker + "'";
  holder = popen(cmd.c_str(), "w");
  struct stat st{};
  for (int i = 0; holder && i < 500 && stat(marker.c_str(), &st) != 0; ++i) usleep(20000);
  if (holder && stat(marker.c_str(), &st) != 0) release();
}

void sqlite_lock_holder::release() {
  if (!holder) return;
  pclose(holder);
  holder = nullptr;
}
