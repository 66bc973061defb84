// The three opening questions of a cycle (input data file, store file, report
// file), shared by the typed-name and the dialog-based file selection.
#pragma once

#include <string>

#include "dialogue/program.h"
#include "dialogue/session.h"

namespace quelbro {

enum class Obtained { Opened, NotOpened, Restart, Quit };

// How a file is obtained once the user has answered Y.
class FileObtainer {
 public:
  virtual ~FileObtainer() = default;
  virtual Obtained input(Session& s) = 0;   // opens s.in, sets s.inPath and s.reportFileName
  virtual Obtained store(Session& s) = 0;   // opens s.store, sets s.reportFileName
  virtual Obtained output(Session& s) = 0;  // opens s.report
};

// Asks the three questions; sets s.quit or s.restart, or leaves the input
// source, store file and report file chosen.
void selectFiles(Session& s, FileObtainer& how);

// The console program's variant: typed file names.
void iofilenop(Session& s);
// The window program's variant: the platform's file dialogs.
void iofile(Session& s, FileChooser& chooser);

// True when `path` names the open input data file or the open store file.
bool namesOpenDataFile(const Session& s, const std::string& path);
// Refusal of such an output file name.
void refuseOutputOverData(Session& s);
// An input data file that is a folder or a device is refused with a message
// (a FIFO still reads). True when refused. Checked before the file is opened
// and, with `fd`, once more on the opened file.
bool refuseInputKind(Session& s, const std::string& name, int fd = -1);
// An existing output or store file name that is not a regular file (a folder,
// a device, a FIFO) is refused with a message. True when refused.
bool refuseNonRegular(Session& s, const std::string& role, const std::string& name);
// Why a file could not be created: not a regular file, already there (for a
// file that must be new), or the system's reason.
void sayNotCreated(Session& s, const std::string& role, const std::string& name, const OutFile& file,
                   bool mustBeNew);
// The last path component of a path, cut to 20 characters.
std::string reportNameOf(const std::string& path);

}  // namespace quelbro
