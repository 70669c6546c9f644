// Builds an SQLite database from an SQL script: ocilite_mkdb SCRIPT OUTPUT.
// The output is written beside its final name and renamed when the whole
// script ran, so a failed build leaves no half-made database.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ocilite_mkdb SCRIPT OUTPUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "ocilite_mkdb: cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream script;
  script << in.rdbuf();
  std::string temp = std::string(argv[2]) + ".part";
  std::remove(temp.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(temp.c_str(), &db) != SQLITE_OK) {
    std::fprintf(stderr, "ocilite_mkdb: %s: %s\n", temp.c_str(), sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
  }
  char* error = nullptr;
  int rc = sqlite3_exec(db, script.str().c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::fprintf(stderr, "ocilite_mkdb: %s: %s\n", argv[1], error ? error : sqlite3_errstr(rc));
    sqlite3_free(error);
    sqlite3_close(db);
    std::remove(temp.c_str());
    return 1;
  }
  if (sqlite3_close(db) != SQLITE_OK || std::rename(temp.c_str(), argv[2]) != 0) {
    std::fprintf(stderr, "ocilite_mkdb: cannot write %s\n", argv[2]);
    std::remove(temp.c_str());
    return 1;
  }
  return 0;
}
