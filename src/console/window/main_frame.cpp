// The frame window: menus, child window list, save, print, About and closing.
#include "console/window/main_frame.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "console/window/io_window.h"
#include "console/window/print_range.h"
#include "console/window/project_icon.h"
#include "console/window/roc_plot_window.h"
#include "console/window/system_info.h"
#include "results/csv_tables.h"
#include "results/extended_report.h"

namespace quelbro {

namespace {
constexpr int kPacingTimerMs = 100;
constexpr int kServiceIntervalMs = 10;
const char* const kSaveQuestion = "Save the Input/Output window?";

// The ROC Curves child when it is the active one.
RocPlotWindow* activePlot(QMdiArea* mdi) {
  QMdiSubWindow* sub = mdi->activeSubWindow();
  return sub != nullptr ? qobject_cast<RocPlotWindow*>(sub->widget()) : nullptr;
}
const char* const kDroppedKept =
    "Earlier lines were dropped from the window; the output file keeps the whole report";
const char* const kDroppedGone =
    "Earlier lines were dropped from the window; without an output file they are gone";

QString roleName(OpenFileRole role) {
  switch (role) {
    case OpenFileRole::InputData:
      return QStringLiteral("input data file");
    case OpenFileRole::Store:
      return QStringLiteral("store file");
    case OpenFileRole::Report:
      return QStringLiteral("output file");
  }
  return {};
}
}  // namespace

QStringList windowSaveFilters() {
  // "*.*" would hide files without a dot here, so All Files matches every name.
  return {QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)"),
          QStringLiteral("Data Files (*.dat)")};
}

QStringList exportFilters() {
  return {QStringLiteral("CSV Tables (*.csv)"), QStringLiteral("All Files (*)")};
}

std::string exportPrefix(const std::string& chosen) {
  std::string prefix = chosen;
  auto strip = [&prefix](const std::string& ending) {
    if (prefix.size() > ending.size() &&
        prefix.compare(prefix.size() - ending.size(), ending.size(), ending) == 0) {
      prefix.resize(prefix.size() - ending.size());
      return true;
    }
    return false;
  };
  if (!strip(".csv")) return prefix;
  for (const CsvTable& t : csvTables())
    if (strip("-" + t.name)) break;
  return prefix;
}

MainFrame::MainFrame(ShellDialogs& dialogs, const QString& title, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), programName_(title) {
  setWindowTitle(title);
  setWindowIcon(projectIcon());
  mdi_ = new QMdiArea(this);
  setCentralWidget(mdi_);

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  connect(addItem(file, QStringLiteral("&Save"), kMenuSave), &QAction::triggered, this, &MainFrame::save);
  // Save As and Print act on an active ROC Curves child; the Save question at the end and
  // every other path save the text.
  connect(addItem(file, QStringLiteral("Save As..."), kMenuSaveAs), &QAction::triggered, this, [this] {
    if (RocPlotWindow* plot = activePlot(mdi_))
      plot->saveAs();
    else
      saveAs();
  });
  QAction* exportItem = addItem(file, QStringLiteral("Export Results..."), kMenuExportResults);
  exportItem->setEnabled(false);  // until a dataset has been analysed
  connect(exportItem, &QAction::triggered, this, &MainFrame::exportResults);
  QAction* extendedItem = addItem(file, QStringLiteral("Extended Results"), kMenuExtendedResults);
  extendedItem->setEnabled(false);  // until a dataset has been analysed
  connect(extendedItem, &QAction::triggered, this, &MainFrame::showExtendedResults);
  connect(addItem(file, QStringLiteral("Print..."), kMenuPrint), &QAction::triggered, this, [this] {
    if (RocPlotWindow* plot = activePlot(mdi_))
      plot->print();
    else
      print();
  });
  connect(addItem(file, QStringLiteral("&About..."), kMenuAbout), &QAction::triggered, this,
          &MainFrame::about);
  file->addSeparator();
  connect(addItem(file, QStringLiteral("E&xit"), kMenuExit), &QAction::triggered, this,
          &MainFrame::exitProgram);

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  addItem(edit, QStringLiteral("&Undo"), kMenuUndo, QKeySequence(QStringLiteral("Ctrl+Z")));
  edit->addSeparator();
  QAction* cut = addItem(edit, QStringLiteral("Cu&t"), kMenuCut, QKeySequence(QStringLiteral("Ctrl+X")));
  QAction* copy = addItem(edit, QStringLiteral("&Copy"), kMenuCopy, QKeySequence(QStringLiteral("Ctrl+C")));
  QAction* paste =
      addItem(edit, QStringLiteral("&Paste"), kMenuPaste, QKeySequence(QStringLiteral("Ctrl+V")));
  QAction* del = addItem(edit, QStringLiteral("De&lete"), kMenuDelete);
  for (QAction* a : edit->actions()) a->setEnabled(false);  // every Edit item starts grayed

  windowMenu_ = menuBar()->addMenu(QStringLiteral("&Window"));
  QAction* cascade = addItem(windowMenu_, QStringLiteral("&Cascade"), kMenuCascade,
                             QKeySequence(QStringLiteral("Shift+F5")));
  QAction* tile =
      addItem(windowMenu_, QStringLiteral("&Tile"), kMenuTile, QKeySequence(QStringLiteral("Shift+F4")));
  QAction* arrange = addItem(windowMenu_, QStringLiteral("&Arrange Icons"), kMenuArrange);
  connect(cascade, &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
  connect(tile, &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);
  connect(arrange, &QAction::triggered, this, &MainFrame::arrangeIcons);
  connect(windowMenu_, &QMenu::aboutToShow, this, &MainFrame::rebuildWindowMenu);

  io_ = new IoWindow(text_);
  ioSub_ = mdi_->addSubWindow(io_);
  ioSub_->setWindowTitle(QStringLiteral("Input/Output"));
  ioSub_->setGeometry(3, 3, 600, 300);
  ioSub_->show();
  io_->setFocus();
  // Closing the child is closing the program: the dialogue could not be answered without it.
  ioSub_->installEventFilter(this);

  dropNote_ = new QLabel(this);
  dropNote_->setObjectName(QStringLiteral("droppedLinesNote"));
  statusBar()->addWidget(dropNote_, 1);
  connect(io_, &IoWindow::linesDropped, this, &MainFrame::announceDroppedLines);
  connect(io_, &IoWindow::pasteRefused, this,
          [this](const QString& message) { dialogs_.warn(this, windowTitle(), message); });

  connect(cut, &QAction::triggered, io_, &IoWindow::cut);
  connect(copy, &QAction::triggered, io_, &IoWindow::copy);
  connect(paste, &QAction::triggered, io_, &IoWindow::paste);
  connect(del, &QAction::triggered, io_, &IoWindow::deleteSelection);
  connect(io_, &IoWindow::selectionChanged, this, &MainFrame::updateEditActions);
  connect(io_, &IoWindow::copied, this, [this] {
    pasteEnabled_ = true;
    updateEditActions();
  });
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (data != nullptr && data->hasText()) pasteEnabled_ = true;
    updateEditActions();
  });

  timerSource_ = [](QObject& owner, int ms) { return owner.startTimer(ms, Qt::PreciseTimer); };
  resize(800, 500);
}

MainFrame::~MainFrame() = default;

QAction* MainFrame::addItem(QMenu* menu, const QString& text, int id, const QKeySequence& keys) {
  QAction* a = menu->addAction(text);
  a->setData(id);
  if (!keys.isEmpty()) {
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WindowShortcut);
  }
  actions_[id] = a;
  return a;
}

QAction* MainFrame::action(int menuId) const {
  const auto it = actions_.find(menuId);
  return it == actions_.end() ? nullptr : it->second;
}

void MainFrame::updateEditActions() {
  const bool sel = text_.selection().has_value();
  action(kMenuUndo)->setEnabled(false);
  action(kMenuCut)->setEnabled(sel);
  action(kMenuCopy)->setEnabled(sel);
  action(kMenuDelete)->setEnabled(sel);
  action(kMenuPaste)->setEnabled(pasteEnabled_);
}

void MainFrame::rebuildWindowMenu() {
  // The fixed items stay; the list of children after the separator is made anew.
  const QList<QAction*> items = windowMenu_->actions();
  for (QAction* a : items) {
    const int id = a->data().toInt();
    if (id != kMenuCascade && id != kMenuTile && id != kMenuArrange) {
      windowMenu_->removeAction(a);
      a->deleteLater();
    }
  }
  const QList<QMdiSubWindow*> children = mdi_->subWindowList();
  if (!children.isEmpty()) windowMenu_->addSeparator();
  int n = 0;
  for (QMdiSubWindow* child : children) {
    ++n;
    QAction* a = windowMenu_->addAction(QStringLiteral("&%1 %2").arg(n).arg(child->windowTitle()));
    a->setCheckable(true);
    a->setChecked(child == mdi_->activeSubWindow());
    connect(a, &QAction::triggered, mdi_, [this, child] {
      if (child->isMinimized()) child->showNormal();
      mdi_->setActiveSubWindow(child);
      if (child->widget() != nullptr) child->widget()->setFocus();
    });
  }
}

void MainFrame::arrangeIcons() {
  // Minimised children line up along the bottom edge, left to right.
  int x = 0;
  const int bottom = mdi_->viewport()->height();
  for (QMdiSubWindow* child : mdi_->subWindowList()) {
    if (!child->isMinimized()) continue;
    child->move(x, bottom - child->height());
    x += child->width();
  }
}

bool MainFrame::save() {
  if (fileName_.isEmpty()) return saveAs();
  return writeTo(fileName_);
}

bool MainFrame::saveAs() {
  const auto name = dialogs_.saveFileName(this, windowSaveFilters(), QString::fromLatin1(kWindowSaveSuffix));
  if (!name || name->isEmpty()) return false;
  return writeTo(*name);
}

std::optional<OpenFile> MainFrame::openFileAt(const QString& path) const {
  if (openFiles_ == nullptr) return std::nullopt;
  // The same file whatever the name: a link, another spelling of the path, or the name a file
  // was moved to after the dialogue opened it.
  struct stat target {};
  if (::stat(QFile::encodeName(path).constData(), &target) != 0) return std::nullopt;
  for (const OpenFile& f : openFiles_->openFiles()) {
    struct stat held {};
    const bool known =
        f.descriptor >= 0 ? ::fstat(f.descriptor, &held) == 0 : ::stat(f.path.c_str(), &held) == 0;
    if (known && held.st_dev == target.st_dev && held.st_ino == target.st_ino) return f;
  }
  return std::nullopt;
}

bool MainFrame::reportFileOpen() const {
  if (openFiles_ == nullptr) return false;
  for (const OpenFile& f : openFiles_->openFiles()) {
    if (f.role == OpenFileRole::Report) return true;
  }
  return false;
}

void MainFrame::announceDroppedLines() {
  if (!dropNote_->text().isEmpty()) return;  // said once
  dropNote_->setText(QString::fromLatin1(reportFileOpen() ? kDroppedKept : kDroppedGone));
}

QString MainFrame::droppedLinesNote() const { return dropNote_->text(); }

bool MainFrame::writeTo(const QString& path) {
  // Replacing a file the dialogue is writing would lose what it wrote, and it would go on
  // writing into the middle of the window's text.
  if (const auto held = openFileAt(path)) {
    dialogs_.warn(this, windowTitle(),
                  QStringLiteral("%1 is open as the %2 of the dialogue; the window is not saved over it. "
                                 "Choose another file.")
                      .arg(QDir::toNativeSeparators(path), roleName(held->role)));
    return false;
  }
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    dialogs_.warn(this, windowTitle(), QStringLiteral("Cannot create file"));
    return false;
  }
  bool ok = true;
  for (const std::string& line : text_.storedLines()) {
    QByteArray bytes(line.data(), static_cast<qsizetype>(line.size()));
    bytes.append("\r\n", 2);
    if (f.write(bytes) != bytes.size()) ok = false;  // the remaining lines are still tried
  }
  f.close();
  if (!ok) {
    dialogs_.warn(this, windowTitle(), QStringLiteral("I/O error while writing file"));
    return false;
  }
  text_.markSaved();
  fileName_ = path;
  ioSub_->setWindowTitle(path);
  return true;
}

void MainFrame::datasetFinished(const DatasetResults& results) {
  analysed_.push_back(results);
  action(kMenuExportResults)->setEnabled(true);
  action(kMenuExtendedResults)->setEnabled(true);
  if (extendedSub_ != nullptr) showExtendedResults();
}

void MainFrame::showExtendedResults() {
  if (analysed_.empty()) return;
  QString text;
  for (const std::string& line : extendedText(analysed_, std::nullopt)) {
    text += QString::fromStdString(line);
    text += QLatin1Char('\n');
  }
  if (extendedSub_ == nullptr) {
    auto* view = new QPlainTextEdit;
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    extendedSub_ = mdi_->addSubWindow(view);
    extendedSub_->setAttribute(Qt::WA_DeleteOnClose);
    extendedSub_->setWindowTitle(QStringLiteral("Extended Results"));
    extendedSub_->resize(640, 400);
  }
  auto* view = static_cast<QPlainTextEdit*>(extendedSub_->widget());
  view->setPlainText(text);
  extendedSub_->show();
  mdi_->setActiveSubWindow(extendedSub_.data());
}

bool MainFrame::exportResults() {
  if (analysed_.empty()) return false;
  const auto name = dialogs_.saveFileName(this, exportFilters(), QString::fromLatin1(kExportSuffix));
  if (!name || name->isEmpty()) return false;
  const std::string prefix = exportPrefix(QFile::encodeName(*name).toStdString());
  // As for Save: a table written over a file the dialogue holds would lose what it wrote.
  for (const CsvTable& t : csvTables()) {
    const QString path = QFile::decodeName(csvPath(prefix, t).c_str());
    if (const auto held = openFileAt(path)) {
      dialogs_.warn(
          this, windowTitle(),
          QStringLiteral("%1 is open as the %2 of the dialogue; the tables are not written over it. "
                         "Choose another name.")
              .arg(QDir::toNativeSeparators(path), roleName(held->role)));
      return false;
    }
  }
  // The save dialog asked about the name chosen; the other tables are asked about here.
  bool others = false;
  for (const CsvTable& t : csvTables()) {
    const std::string path = csvPath(prefix, t);
    others = others ||
             (QFile::exists(QFile::decodeName(path.c_str())) && QFile::decodeName(path.c_str()) != *name);
  }
  if (others && !dialogs_.askYesNo(this, windowTitle(), QStringLiteral("Replace the existing tables?")))
    return false;
  std::string why;
  if (!writeCsvTables(prefix, analysed_, true, why)) {
    dialogs_.warn(this, windowTitle(),
                  QStringLiteral("Cannot write the tables: ") + QString::fromLocal8Bit(why.c_str()));
    return false;
  }
  return true;
}

void MainFrame::print() {
  if (printing_) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(windowTitle());
  printer.setCopyCount(1);
  if (!dialogs_.choosePrinter(this, printer, 1, 32767, defaultPrintFile())) return;
  printText(printer);
}

QString MainFrame::defaultPrintFile() const {
  // Not the frame's title: that changes (a maximised child adds its own title, a saved file's path).
  return QDir::current().absoluteFilePath(programName_ + QStringLiteral(".pdf"));
}

void MainFrame::printText(QPrinter& printer) {
  lastPrint_ = PrintReport{};
  const std::vector<std::string> lines = text_.storedLines();
  std::optional<PageRange> pages;
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    pages = PageRange{printer.fromPage(), std::max(printer.toPage(), printer.fromPage())};
  }
  const QFont font = io_->textFont();
  const QFontMetrics fm(font, &printer);
  const int lineHeight = std::max(1, fm.height() + std::max(0, fm.leading()));
  const int pageHeight = static_cast<int>(printer.pageRect(QPrinter::DevicePixel).height());
  const int perPage = std::max(1, pageHeight / lineHeight);
  const LineRange range = printLineRange(static_cast<int>(lines.size()), perPage, pages);
  lastPrint_.linesPerPage = perPage;
  lastPrint_.firstLine = range.first;
  if (range.count == 0) return;  // nothing on the chosen pages

  QPainter painter;
  if (!painter.begin(&printer)) {
    dialogs_.warn(this, windowTitle(), QStringLiteral("Cannot start printing"));
    return;
  }
  painter.setFont(font);

  QDialog box(nullptr, Qt::Dialog);  // stays usable while the frame is disabled
  box.setObjectName(QStringLiteral("printingBox"));
  box.setWindowTitle(windowTitle());
  auto* layout = new QVBoxLayout(&box);
  layout->addWidget(new QLabel(QStringLiteral("Printing..."), &box));
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), &box);
  cancel->setObjectName(QStringLiteral("printingCancel"));
  layout->addWidget(cancel);
  printCancel_ = false;
  connect(cancel, &QPushButton::clicked, this, [this] { printCancel_ = true; });
  box.setModal(false);
  box.show();
  printing_ = true;
  setEnabled(false);

  const int copies = printer.supportsMultipleCopies() ? 1 : std::clamp(printer.copyCount(), 1, 999);
  QElapsedTimer pace;
  pace.start();
  QCoreApplication::processEvents();
  int pagesDone = 0;
  for (int c = 0; c < copies && !printCancel_; ++c) {
    if (c > 0) printer.newPage();  // each copy starts on a new page
    ++pagesDone;
    int row = 0;
    for (int i = range.first; i < range.first + range.count; ++i) {
      if (row == perPage) {
        printer.newPage();
        ++pagesDone;
        row = 0;
      }
      const std::string& s = lines[static_cast<std::size_t>(i)];
      painter.drawText(0, row * lineHeight + fm.ascent(),
                       QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())));
      ++row;
      ++lastPrint_.linesPrinted;
      if (pace.elapsed() >= kServiceIntervalMs) {
        QCoreApplication::processEvents();
        pace.restart();
      }
      if (printCancel_) break;  // stops after the current line
    }
  }
  painter.end();
  lastPrint_.pages = pagesDone;
  lastPrint_.cancelled = printCancel_;
  printing_ = false;
  setEnabled(true);
  box.hide();
}

void MainFrame::about() {
  const std::string info = aboutHeading(windowTitle().toStdString()) + aboutText(readSystemInfo());
  dialogs_.inform(this, QStringLiteral("About ") + windowTitle(),
                  QString::fromLocal8Bit(info.data(), static_cast<qsizetype>(info.size())));
}

bool MainFrame::startProgram(std::function<void()> program) {
  pacingTimer_ = timerSource_ ? timerSource_(*this, kPacingTimerMs) : 0;
  if (pacingTimer_ == 0 &&
      !dialogs_.askYesNo(this, windowTitle(), QStringLiteral("No timers available. Continue?"))) {
    closed_ = true;
    emit finished();
    return false;
  }
  QTimer::singleShot(0, this, [this, program = std::move(program)] {
    mdi_->setActiveSubWindow(ioSub_);
    io_->setFocus();
    running_ = true;
    io_->setProgramRunning(true);
    if (!closed_) program();
    programReturned();
  });
  return true;
}

void MainFrame::programReturned() {
  running_ = false;
  io_->setProgramRunning(false);
  if (!closed_) {
    // The window stays for reading, saving and printing; say that nothing
    // typed into it is read any more.
    text_.writeLine(kDialogueEnded);
    io_->endInput();
  }
  io_->refresh();
  updateEditActions();
  if (closed_) emit finished();
}

void MainFrame::timerEvent(QTimerEvent* event) {
  if (event->timerId() == pacingTimer_) {
    killTimer(pacingTimer_);  // one shot
    pacingTimer_ = 0;
    io_->refresh();
    return;
  }
  QMainWindow::timerEvent(event);
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ioSub_ && event->type() == QEvent::Close) {
    // The child stays; the frame asks its question and, when it closes, takes the child along.
    event->ignore();
    close();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainFrame::closeEvent(QCloseEvent* event) {
  if (printing_) {
    printCancel_ = true;
    event->ignore();
    return;
  }
  if (closed_) {
    event->accept();
    return;
  }
  if (!text_.saved()) {
    switch (dialogs_.askYesNoCancel(this, windowTitle(), QString::fromLatin1(kSaveQuestion))) {
      case ShellDialogs::Answer::Cancel:
        event->ignore();
        return;
      case ShellDialogs::Answer::Yes:
        if (!save()) {
          event->ignore();
          return;
        }
        break;
      case ShellDialogs::Answer::No:
        break;
    }
  }
  event->accept();
  closed_ = true;
  emit closedByUser();
  if (!running_) emit finished();
}

}  // namespace quelbro
