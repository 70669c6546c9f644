#include "common/quillet_convertor.h"

#include "ORA/ora_stop_watch.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "UDB/udb_profile.h"
#include "common/error_handler.h"
#include "common/init_conversion.h"
#include "common/program_version.h"
#include "common/workbook_draft.h"
#include "oci/oci_library.h"
#include "platform/file_replacement.h"
#include "platform/registry.h"
#include "platform/utf8.h"

#include <cstdio>
#include <cwchar>
#include <sys/stat.h>

namespace {
const char settings_key[] = "Software\\Brightfold\\Quillmark";
// Why the settings were not kept or read, from the store's own account of it.
std::wstring store_problem_message(const wchar_t* what) {
  qm_platform::registry_problem problem = qm_platform::registry_last_problem();
  std::wstring where = qm_platform::path_as_text(qm_platform::path_from_utf8(problem.path.c_str()));
  return what + where + L"\": " + qm_platform::text_from_system(problem.reason.c_str()) + L".";
}
std::wstring store_failure_message() { return store_problem_message(L"Cannot save the settings in \""); }

// The store writes a key's file anew when it closes: one its owner made
// read-only is replaced all the same.
std::wstring read_only_notice() {
  std::string file = qm_platform::registry_key_file(HKEY_CURRENT_USER, settings_key);
  struct stat st {};
  if (file.empty() || ::stat(file.c_str(), &st) != 0 || (st.st_mode & S_IWUSR)) return std::wstring();
  return L"The saved settings file \"" + qm_platform::path_as_text(qm_platform::path_from_utf8(file.c_str())) +
         L"\" is read-only: the wizard replaces it with the settings of this session when it closes.";
}
}  // namespace

void refuse_special_destination(const std::wstring& path) {
  struct stat st {};
  if (path.empty() || ::stat(qm_platform::path_to_utf8(path.c_str()).c_str(), &st) != 0) return;
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    throw tk_exception(
        L"Destination name should specify a file, not a named pipe, socket or device: \"" + path + L"\".", 1);
}

void common_check_dest(const std::wstring& path) {
  // A path that ends in a folder names no file, whether that folder exists or not.
  bool names_folder = !path.empty() && path.back() == L'/';
  if (names_folder || tk_is_path_exist(path))
    throw tk_exception(std::string("Destination name should specify a file, not folder."), 1);
  // Before the file is opened to be tried: a pipe would wait.
  refuse_special_destination(path);
  if (tk_is_file_exist(path, 0) && !tk_is_file_exist(path, 1))
    throw tk_exception(std::string("Destination name specifies an existing read-only file."), 1);
  tk_file_wname parts(path);
  if (!tk_is_path_exist(parts.drive + parts.dir))
    throw tk_exception(std::string("Destination path does not exist.\nPlease verify the correct path was given."), 1);
  // What only the end of the run would meet: refused before it begins.
  std::string target;
  qm_platform::link_refusal refusal = qm_platform::replacement_target(qm_platform::path_to_utf8(path.c_str()), target);
  if (refusal != qm_platform::link_refusal::none)
    cannot_write_destination(path, qm_platform::link_refusal_text(refusal) + L".");
  std::wstring refused = qm_platform::replacement_refusal(target);
  if (!refused.empty()) cannot_write_destination(path, refused + L".");
}

quillet_convertor::quillet_convertor(conversion_front_end& front_end)
    : xls_converter(front_end), reg_key(settings_key) {
  if (front.uses_registry()) {
    serialize(false);
  } else {
    format_version = -1;
    open_on_exit = false;
    split_data = false;
    wrap_text = false;
    dates_to_strings = false;
  }
}

quillet_convertor::~quillet_convertor() {
  if (front.uses_registry() && !settings_saved && !settings_left) {
    try {
      serialize(true);
    } catch (const tk_exception& e) {
      tk_log_internal_error(e);
    }
  }
}

bool quillet_convertor::save_settings() {
  if (settings_left) return true;
  settings_saved = true;
  return serialize(true);
}

bool quillet_convertor::serialize(bool store) {
  if (store) failure.clear();
  if (reg_key.open(HKEY_CURRENT_USER, settings_key, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                   nullptr) != ERROR_SUCCESS) {
    if (store)
      failure = store_failure_message();
    else
      notice = store_problem_message(L"The saved settings cannot be read from \"");
    return false;
  }
  if (!store) {
    notice = read_only_notice();
    dates_to_strings = false;
    destination.clear();
    format_version = 1;
    open_on_exit = true;
    host.clear();
    password.clear();
    port = L"1521";
    source_name.clear();
    user.clear();
    split_data = false;
    wrap_text = true;
  }
  DWORD engine_number = static_cast<DWORD>(format_version);
  bool ok = true;
  ok &= reg_key.serialize_value("dates to strings", dates_to_strings, store);
  ok &= reg_key.serialize_value("dest", destination, store);
  ok &= reg_key.serialize_value("engine", engine_number, store);
  ok &= reg_key.serialize_value("open on exit", open_on_exit, store);
  ok &= reg_key.serialize_value("oracleh", host, store);
  ok &= reg_key.serialize_value("oraclep", password, store);
  ok &= reg_key.serialize_value("port", port, store);
  ok &= reg_key.serialize_value("src", source_name, store);
  ok &= reg_key.serialize_value("oracleu", user, store);
  ok &= reg_key.serialize_value("split", split_data, store);
  ok &= reg_key.serialize_value("wrap text", wrap_text, store);
  if (!store) format_version = static_cast<std::int32_t>(engine_number);
  // The stored values reach the store here, all of them or none.
  if (reg_key.close() != ERROR_SUCCESS && store) {
    failure = store_failure_message();
    ok = false;
  }
  return ok;
}

std::vector<std::wstring> quillet_convertor::get_all_tables() {
  if (!source_db) throw tk_mail_assertion("qlt_conv", 72);
  return source_db->get_tables();
}

void quillet_convertor::check_dest() {
  // An empty path would stand for the program's own folder.
  if (destination.empty()) throw tk_exception(std::string("You should enter MS Excel spredsheet name"), 1);
  // Every setting is known now, wherever the destination and the format came from.
  destination = with_format_extension(destination, format_version);
  // Nothing is deleted: the run puts its whole workbook in place at its end.
  common_check_dest(destination);
  // The file the connection reads, known before it is made.
  std::string source = oci_source_file(
      qm_platform::path_to_utf8(ora_engine::make_connect_string(host, port, source_name).c_str()));
  if (!source.empty()) reads_file(source, read_kind::source);
  check_files_apart(destination);
}

std::wstring quillet_convertor::known_destination() const {
  return with_format_extension(destination, format_version);
}

std::wstring quillet_convertor::get_title() const {
  wchar_t version[32];
  std::swprintf(version, 32, L"%d.%d", program_version_major, program_version_minor);
  return std::wstring(L"Quillmark ") + version;
}

bool quillet_convertor::store_profile(const std::wstring& file_name) {
  namespace k = udb_profile_keys;
  // The log goes on writing under its name, into whatever file has it:
  // its later lines would be added to the settings.
  if (names_log_file(qm_platform::path_to_utf8(file_name.c_str()))) {
    profile_failure_text = udb_profile::store_failure_message(file_name, L"it is the log file");
    return false;
  }
  // The system's reason, read before anything else can change it.
  udb_profile profile;
  auto failed = [&] {
    profile_failure_text = profile.store_problem.empty()
                               ? udb_profile::store_failure_message(file_name)
                               : udb_profile::store_failure_message(file_name, profile.store_problem);
    return false;
  };
  if (!udb_converter::store_profile(profile)) return failed();
  profile.set_value(k::excel_settings, k::format_version, std::to_wstring(format_version));
  profile.set_value(k::excel_settings, k::split_data, split_data ? L"1" : L"0");
  profile.set_value(k::excel_settings, k::wrap_text, wrap_text ? L"1" : L"0");
  profile.set_value(k::excel_settings, k::dates_to_strings, dates_to_strings ? L"1" : L"0");
  if (!oracle_converter_impl::store_profile(profile) || !profile.store(file_name)) return failed();
  return true;
}

bool quillet_convertor::load_profile(const std::wstring& file_name) {
  reads_file(qm_platform::path_to_utf8(file_name.c_str()));
  udb_profile profile;
  return profile.load(file_name) && apply_profile(profile);
}

bool quillet_convertor::apply_profile(udb_profile& profile) {
  namespace k = udb_profile_keys;
  std::wstring format = profile.get_value(k::excel_settings, k::format_version);
  // The format first: the log file is checked against the destination
  // with its extension.
  if (!format.empty()) format_version = format == L"1" ? 1 : format == L"2" ? 2 : 0;
  if (!udb_converter::load_profile(profile)) return false;
  const std::pair<const wchar_t*, bool*> flags[] = {
      {k::split_data, &split_data}, {k::wrap_text, &wrap_text}, {k::dates_to_strings, &dates_to_strings}};
  for (const auto& [key, flag] : flags) {
    std::wstring value = profile.get_value(k::excel_settings, key);
    if (!value.empty()) *flag = value == L"1";
  }
  return oracle_converter_impl::load_profile(profile);
}

bool quillet_convertor::test_query(const std::wstring& text) {
  return oracle_converter_impl::test_query(service, user, password, text);
}

int quillet_convertor::operator()() {
  struct running_mark {
    std::atomic<bool>& flag;
    explicit running_mark(std::atomic<bool>& f) : flag(f) { flag = true; }
    ~running_mark() { flag = false; }
  } mark(running);
  init_conversion guard(&finished, front.com_already_initialised(), front);
  // Showing an error may itself end the run when a stop is requested meanwhile.
  try {
    try {
      engine.conversion_mode = true;
      // A text is read no further than a cell keeps.
      engine.text_limit = cell_text_limit();
      // A stop breaks off a long statement instead of waiting for its end.
      ora_stop_watch watch(engine, [this] { return stop_requested(); });
      if (!source_db) throw tk_mail_assertion("qlt_conv", 72);
      end_run_if_stopped();
      if (front.select_all_when_empty() && selected_tables.empty() && selected.empty())
        selected_tables = source_db->get_tables();
      tables_total = static_cast<int>(selected_tables.size());
      tk_log::write(3, L"Converting database %ls (%d tables)", source_name.c_str(), tables_total.load());
      front.on_database_start(source_name, tables_total);
      do_convert(*source_db);
    } catch (const tk_exception& e) {
      // Nothing of this run has replaced the destination.
      error_handler::outcome_scope told(old_workbook_note());
      error_handler::instance().handle(e, true);
    } catch (const tk_final_exception&) {
      throw;
    } catch (const std::exception& e) {
      front.on_other_exception(e);
    }
  } catch (const tk_final_exception&) {
  }
  return 0;
}
