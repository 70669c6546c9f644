#include "GUI2/file_dialog.h"

#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/utf8.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace {
// Qt's dialog reads a typed text that holds a double quote as a list of
// quoted names and takes one of them. Ours select one file: the text is
// one name, taken against the folder the dialog shows.
class one_name_dialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  // Once the widgets exist; after Qt's own handlers, so that ours decide
  // the button last.
  void watch_typed_name() {
    edit = findChild<QLineEdit*>("fileNameEdit");
    if (!edit) return;
    connect(edit, &QLineEdit::textChanged, this, [this] { update_ok(); });
    connect(this, &QFileDialog::directoryEntered, this, [this] { update_ok(); });
    if (auto* list = findChild<QListView*>("listView"); list && list->selectionModel())
      connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { update_ok(); },
              Qt::QueuedConnection);
    update_ok();
  }
  // The path of a typed name that holds a quote and was accepted; empty
  // when Qt's own reading of the text applied.
  const QString& chosen() const { return chosen_path; }

  void accept() override {
    if (!quoted()) {
      QFileDialog::accept();
      return;
    }
    QFileInfo info(typed_path());
    if (info.isDir()) {
      setDirectory(info.absoluteFilePath());
      edit->clear();
      return;
    }
    if (fileMode() == QFileDialog::ExistingFile && !info.exists()) {
      QMessageBox::warning(this, windowTitle(),
                           QFileDialog::tr("%1\nFile not found.\nPlease verify the correct file name was given.")
                               .arg(edit->text()));
      return;
    }
    chosen_path = info.filePath();
    QDialog::accept();
  }

 private:
  bool quoted() const { return edit && edit->text().contains('"'); }
  QString typed_path() const {
    QString text = edit->text();
    if (text == "~" || text.startsWith("~/")) return QDir::homePath() + text.mid(1);
    if (QFileInfo(text).isAbsolute()) return text;
    return directory().absolutePath() + '/' + text;
  }
  void update_ok() {
    if (!quoted()) return;
    auto* buttons = findChild<QDialogButtonBox*>("buttonBox");
    QPushButton* ok =
        buttons ? buttons->button(acceptMode() == AcceptOpen ? QDialogButtonBox::Open : QDialogButtonBox::Save) : nullptr;
    if (!ok) return;
    QFileInfo info(typed_path());
    ok->setEnabled(fileMode() == QFileDialog::ExistingFile ? info.exists() : !edit->text().endsWith('/'));
  }

  QLineEdit* edit = nullptr;
  QString chosen_path;
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
  // A folder whose name is no text is entered by its bytes; the dialog,
  // which takes text only, gets the name with U+FFFD for them.
  tk_temp_chdir_w in_folder(initial_folder);
  one_name_dialog dialog(owner, QString::fromStdWString(title),
                         QString::fromStdWString(qm_platform::path_as_text(initial_folder)));
  dialog.setObjectName(save ? "save_file_dialog" : "open_file_dialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilters(filter_to_qt(filter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode((flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.selectFile(QString::fromStdWString(file_name));
  dialog.watch_typed_name();
  if (dialog.exec() != QDialog::Accepted) return false;
  if (!dialog.chosen().isEmpty()) {
    file_name = dialog.chosen().toStdWString();
    return true;
  }
  if (dialog.selectedFiles().isEmpty()) return false;
  file_name = dialog.selectedFiles().front().toStdWString();
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
