#include "ocilite/ol_handles.h"

#include "ocilite/ol_database.h"

#include <mutex>
#include <unordered_set>

namespace ocilite {

namespace {

std::mutex& registry_mutex() {
  static std::mutex m;
  return m;
}

std::unordered_set<const void*>& registry() {
  static auto* live = new std::unordered_set<const void*>;
  return *live;
}

}  // namespace

void register_handle(handle* h) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  registry().insert(h);
}

void unregister_handle(handle* h) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  registry().erase(h);
}

bool is_live(const void* p) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  return registry().count(p) != 0;
}

void destroy_handle(handle* h) {
  unregister_handle(h);
  delete h;
}

void stmt_handle::finalize() {
  if (st) sqlite3_finalize(st);
  st = nullptr;
  executed = false;
  described = false;
  end_of_fetch = false;
  columns.clear();
  for (param_desc* p : params) destroy_handle(p);
  params.clear();
}

stmt_handle::~stmt_handle() {
  finalize();
  // Defines and binds belong to their statement.
  for (auto& [pos, d] : defines) destroy_handle(d);
  for (auto& [pos, b] : binds) destroy_handle(b);
}

}  // namespace ocilite

namespace ocilite {

std::vector<handle*> handles_of(env_handle* env) {
  std::vector<handle*> out;
  std::lock_guard<std::mutex> lock(registry_mutex());
  for (const void* p : registry()) {
    auto* h = static_cast<handle*>(const_cast<void*>(p));
    if (h->env == env) out.push_back(h);
  }
  return out;
}

}  // namespace ocilite
