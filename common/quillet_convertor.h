// The program's one convertor: every setting of a conversion, the
// destination check, the wizard's registry settings and the settings files.
#pragma once

#include "TK/tk_reg_key.h"
#include "TK/tk_singleton.h"
#include "common/oracle_converter_impl.h"
#include "common/xls_converter.h"

#include <string>
#include <vector>

class tk_serializer {};

// The destination names a file in an existing folder that can be written,
// and the run's workbook could take its place: a symbolic link that would
// not be followed, a folder where no file can be made, a file of another
// user in a sticky folder and a mount point are refused. Raises
// tk_exception (level 1) otherwise.
void common_check_dest(const std::wstring& path);
// A named pipe, socket or device at the destination (or a link to one) is
// refused with its name (tk_exception, level 1): the run would wait on a
// pipe, and the workbook would take the place of what the user keeps there.
void refuse_special_destination(const std::wstring& path);

class quillet_convertor : public xls_converter,
                          public oracle_converter_impl,
                          public tk_serializer,
                          public tk_singleton<quillet_convertor> {
 public:
  // The wizard reads its registry settings here; the console starts with no
  // format chosen.
  explicit quillet_convertor(conversion_front_end& front_end);
  ~quillet_convertor() override;

  // The whole run; exceptions never leave it.
  int operator()() override;

  // The registry exchange of the wizard's settings; true only when every
  // value was exchanged. The values stored are written as one whole.
  bool serialize(bool store);
  // Writes the registry values back; the wizard calls it before the
  // convertor goes. Nothing after leave_saved_settings. False when they
  // could not be kept: settings_failure() says where and why.
  bool save_settings();
  const std::wstring& settings_failure() const { return failure; }
  // What the wizard tells the user as it starts: the saved settings could
  // not be read (a store folder another user owns or others can write,
  // say), or their file is read-only and is replaced when the wizard
  // closes. Empty when there is nothing to tell.
  const std::wstring& settings_notice() const { return notice; }

  std::vector<std::wstring> get_all_tables();
  // Gives the destination the extension of the format and checks it;
  // raises tk_exception (level 1) for an empty destination, the failures
  // of common_check_dest and of check_files_apart (the source that the
  // connection would read counts, before it is made). It deletes nothing:
  // an existing destination is replaced at the end of a run that wrote its
  // whole workbook.
  void check_dest();
  // The destination with the extension of the format known so far.
  std::wstring known_destination() const override;
  std::wstring get_title() const;
  // False when the file is not written: it cannot be, or it is the file
  // the log writes to. profile_failure() then says why.
  bool store_profile(const std::wstring& file_name);
  const std::wstring& profile_failure() const { return profile_failure_text; }
  // Loads the settings file and applies it; false when it does not load.
  bool load_profile(const std::wstring& file_name);
  // Applies a loaded settings file: what it leaves out keeps its value.
  bool apply_profile(udb_profile& profile);
  bool test_query(const std::wstring& text);

  // The registry keeps what it holds: nothing of this run is written back.
  void leave_saved_settings() { settings_left = true; }

  tk_reg_key reg_key;
  bool open_on_exit = false;

 private:
  bool settings_saved = false;
  bool settings_left = false;
  std::wstring failure;
  std::wstring notice;
  std::wstring profile_failure_text;
};
