#include "GUI2/file_dialog.h"

#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/utf8.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <vector>

namespace {

// One entry of the folder shown: its name as the system's bytes keep it
// (see path_from_utf8) and the text the list shows for it.
struct folder_entry {
  std::wstring name;
  QString shown;
  bool folder;
};

bool is_folder(const std::wstring& path) {
  struct stat st {};
  return ::stat(qm_platform::path_to_utf8(path.c_str()).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::wstring& path) {
  struct stat st {};
  return ::stat(qm_platform::path_to_utf8(path.c_str()).c_str(), &st) == 0;
}

QString shown_text(const std::wstring& path) { return QString::fromStdWString(qm_platform::path_as_text(path)); }

// The patterns of each description of the filter, in its order.
std::vector<std::vector<std::string>> filter_patterns(const std::wstring& filter) {
  std::vector<std::vector<std::string>> out;
  std::size_t at = 0;
  while (at < filter.size() && filter[at] != L'\0') {
    std::size_t end = filter.find(L'\0', at);
    if (end == std::wstring::npos) break;
    at = end + 1;
    end = filter.find(L'\0', at);
    if (end == std::wstring::npos) end = filter.size();
    std::vector<std::string> patterns;
    for (const std::wstring& p : tk_split(filter.substr(at, end - at), L';'))
      if (!p.empty()) patterns.push_back(qm_platform::path_to_utf8(p.c_str()));
    out.push_back(patterns);
    at = end + 1;
  }
  return out;
}

bool matches(const std::vector<std::string>& patterns, const std::string& name) {
  if (patterns.empty()) return true;
  for (const std::string& p : patterns)
    if (p == "*.*" || p == "*" || ::fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return true;
  return false;
}

// The dialog of the pages' file names. Qt's own dialog takes folders and
// files by their names as text: a folder whose name is not UTF-8 cannot
// be opened in it and such a file is not listed. This one lists and
// returns names by their bytes, and takes a typed text as one name,
// double quotes included, against the folder it shows.
class byte_name_dialog : public QDialog {
 public:
  byte_name_dialog(QWidget* owner, const QString& title, bool save, bool must_exist, const std::wstring& filter)
      : QDialog(owner), save(save), must_exist(must_exist), patterns(filter_patterns(filter)) {
    setWindowTitle(title);
    setObjectName(save ? "save_file_dialog" : "open_file_dialog");
    auto* layout = new QGridLayout(this);
    auto* look_in = new QLabel(tr("Look in:"), this);
    folder_edit = new QLineEdit(this);
    folder_edit->setObjectName("lookInEdit");
    folder_edit->setReadOnly(true);
    auto* up = new QToolButton(this);
    up->setObjectName("toParentButton");
    up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    up->setToolTip(tr("Parent Directory"));
    list = new QListWidget(this);
    list->setObjectName("listView");
    auto* name_label = new QLabel(tr("File &name:"), this);
    name_edit = new QLineEdit(this);
    name_edit->setObjectName("fileNameEdit");
    name_label->setBuddy(name_edit);
    auto* type_label = new QLabel(tr("Files of type:"), this);
    types = new QComboBox(this);
    types->setObjectName("fileTypeCombo");
    types->addItems(filter_to_qt(filter));
    buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttonBox");
    ok = buttons->addButton(save ? QDialogButtonBox::Save : QDialogButtonBox::Open);
    ok->setDefault(true);
    layout->addWidget(look_in, 0, 0);
    layout->addWidget(folder_edit, 0, 1);
    layout->addWidget(up, 0, 2);
    layout->addWidget(list, 1, 0, 1, 3);
    layout->addWidget(name_label, 2, 0);
    layout->addWidget(name_edit, 2, 1, 1, 2);
    layout->addWidget(type_label, 3, 0);
    layout->addWidget(types, 3, 1, 1, 2);
    layout->addWidget(buttons, 4, 0, 1, 3);
    resize(560, 380);

    connect(up, &QToolButton::clicked, this, [this] { show_folder(parent_of(folder)); });
    connect(buttons, &QDialogButtonBox::accepted, this, &byte_name_dialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(types, &QComboBox::currentIndexChanged, this, [this] { show_folder(folder); });
    connect(name_edit, &QLineEdit::textChanged, this, [this] { update_ok(); });
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
      const folder_entry* e = entry_at(row);
      if (e && !e->folder) name_edit->setText(e->shown);
      update_ok();
    });
    connect(list, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
      const folder_entry* e = entry_at(list->row(item));
      if (!e) return;
      if (e->folder) {
        show_folder(folder + e->name + L"/");
      } else {
        name_edit->setText(e->shown);
        accept();
      }
    });
  }

  // The folder's bytes, with its trailing "/"; one that is not there shows
  // the nearest folder above it that is.
  void show_folder(std::wstring wanted) {
    if (wanted.empty() || wanted.back() != L'/') wanted += L'/';
    while (wanted.size() > 1 && !is_folder(wanted)) wanted = parent_of(wanted);
    folder = wanted;
    folder_edit->setText(shown_text(folder));
    entries.clear();
    list->clear();
    if (DIR* dir = ::opendir(qm_platform::path_to_utf8(folder.c_str()).c_str())) {
      const std::size_t type = static_cast<std::size_t>(std::max(types->currentIndex(), 0));
      while (dirent* d = ::readdir(dir)) {
        // Hidden names, "." and ".." among them, as the desktop's dialogs do.
        if (d->d_name[0] == '.') continue;
        std::wstring name = qm_platform::path_from_utf8(d->d_name);
        bool sub = is_folder(folder + name);
        if (!sub && type < patterns.size() && !matches(patterns[type], d->d_name)) continue;
        entries.push_back({name, shown_text(name), sub});
      }
      ::closedir(dir);
    }
    std::sort(entries.begin(), entries.end(), [](const folder_entry& a, const folder_entry& b) {
      if (a.folder != b.folder) return a.folder;
      int order = a.shown.compare(b.shown, Qt::CaseInsensitive);
      return order != 0 ? order < 0 : a.name < b.name;
    });
    for (const folder_entry& e : entries) {
      auto* item = new QListWidgetItem(style()->standardIcon(e.folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon),
                                       e.shown, list);
      item->setToolTip(e.shown);
    }
    update_ok();
  }

  // The name proposed; left as it is shown, it keeps its bytes.
  void set_name(const std::wstring& name) {
    given_name = name;
    name_edit->setText(shown_text(name));
  }

  // The path chosen, by its bytes.
  const std::wstring& chosen() const { return chosen_path; }

  void accept() override {
    QString text = name_edit->text();
    if (text.isEmpty()) {
      const folder_entry* e = entry_at(list->currentRow());
      if (e && e->folder) show_folder(folder + e->name + L"/");
      return;
    }
    std::wstring path = typed_path(text);
    if (is_folder(path)) {
      show_folder(path);
      name_edit->clear();
      return;
    }
    if (must_exist && !exists(path)) {
      QMessageBox::warning(this, windowTitle(),
                           tr("%1\nFile not found.\nPlease verify the correct file name was given.").arg(text));
      return;
    }
    if (text.endsWith('/')) return;
    chosen_path = path;
    QDialog::accept();
  }

 private:
  static std::wstring parent_of(std::wstring path) {
    while (path.size() > 1 && path.back() == L'/') path.pop_back();
    std::size_t slash = path.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring(L"/") : path.substr(0, slash + 1);
  }

  const folder_entry* entry_at(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < entries.size() ? &entries[static_cast<std::size_t>(row)]
                                                                        : nullptr;
  }

  // The typed text as a path. A name as the list shows it is that entry,
  // by its bytes; other text is taken against the folder shown (or the
  // home folder for "~"), as one name, quotes and all.
  std::wstring typed_path(const QString& text) const {
    const folder_entry* picked = entry_at(list->currentRow());
    if (picked && picked->shown == text) return folder + picked->name;
    if (!given_name.empty() && text == shown_text(given_name)) return folder + given_name;
    const folder_entry* alike = nullptr;
    int count = 0;
    for (const folder_entry& e : entries)
      if (e.shown == text && ++count == 1) alike = &e;
    if (count == 1) return folder + alike->name;
    std::wstring typed = text.toStdWString();
    if (typed == L"~" || typed.compare(0, 2, L"~/") == 0) {
      const char* home = std::getenv("HOME");
      return qm_platform::path_from_utf8(home ? home : "") + typed.substr(1);
    }
    if (!typed.empty() && typed.front() == L'/') return typed;
    return folder + typed;
  }

  void update_ok() {
    QString text = name_edit->text();
    if (must_exist)
      ok->setEnabled(text.isEmpty() ? entry_at(list->currentRow()) != nullptr : exists(typed_path(text)));
    else
      ok->setEnabled(!text.isEmpty() && !text.endsWith('/'));
  }

  bool save, must_exist;
  std::vector<std::vector<std::string>> patterns;
  std::wstring folder, given_name;
  std::vector<folder_entry> entries;
  std::wstring chosen_path;
  QLineEdit* folder_edit = nullptr;
  QListWidget* list = nullptr;
  QLineEdit* name_edit = nullptr;
  QComboBox* types = nullptr;
  QDialogButtonBox* buttons = nullptr;
  QPushButton* ok = nullptr;
};

}  // namespace

file_dialog::file_dialog(QWidget* o, const file_filter& f, const std::wstring& initial_path, unsigned dialog_flags)
    : owner(o), filter(f.filter), title(f.title), flags(dialog_flags) {
  tk_file_wname parts(initial_path);
  file_name = parts.name;
  initial_folder = parts.drive + parts.dir;
}

QStringList filter_to_qt(const std::wstring& filter) {
  QStringList out;
  std::size_t at = 0;
  while (at < filter.size() && filter[at] != L'\0') {
    std::size_t end = filter.find(L'\0', at);
    if (end == std::wstring::npos) break;
    std::wstring description = filter.substr(at, end - at);
    at = end + 1;
    end = filter.find(L'\0', at);
    if (end == std::wstring::npos) end = filter.size();
    QString patterns = QString::fromStdWString(filter.substr(at, end - at));
    at = end + 1;
    patterns.replace(';', ' ');
    out << QString::fromStdWString(description) + " (" + patterns + ")";
  }
  return out;
}

bool file_dialog::run_dialog(bool save) {
  byte_name_dialog dialog(owner, QString::fromStdWString(title), save, (flags & OFN_FILEMUSTEXIST) != 0, filter);
  dialog.show_folder(initial_folder);
  dialog.set_name(file_name);
  if (dialog.exec() != QDialog::Accepted) return false;
  file_name = dialog.chosen();
  return true;
}

open_file_dialog::open_file_dialog(QWidget* o, const file_filter& f, const std::wstring& initial_path)
    : file_dialog(o, f, initial_path, OFN_FILEMUSTEXIST) {}

bool open_file_dialog::run() { return run_dialog(false); }

save_file_dialog::save_file_dialog(QWidget* o, const file_filter& f, const std::wstring& initial_path,
                                   const std::wstring& extension)
    : file_dialog(o, f, initial_path, 0) {
  if (extension.empty()) throw tk_mail_assertion("g_f_dlg", 111);
  default_extension = extension[0] == L'.' ? extension : L"." + extension;
}

std::wstring save_file_dialog::with_default_extension(const std::wstring& path, const std::wstring& extension) {
  return path.find(extension) == std::wstring::npos ? path + extension : path;
}

bool save_file_dialog::run() {
  if (!run_dialog(true)) return false;
  file_name = with_default_extension(file_name, default_extension);
  return true;
}
