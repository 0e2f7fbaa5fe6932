// Everything the installer asks or tells a person, each with its text and
// its buttons. The seam (services/message_box.h) and its answerers know a
// question by this identity, never by its words.
#pragma once

#include <windows.h>

#include "resources/string_ids.h"

namespace tarnex {

// The message kinds of the installer: errors, warnings and Yes/No questions.
inline constexpr UINT kErrorBox = MB_OK | MB_ICONERROR;
inline constexpr UINT kWarningBox = MB_OK | MB_ICONEXCLAMATION;
inline constexpr UINT kQuestionBox = MB_YESNO | MB_ICONQUESTION;

enum class Question {
    // Reading the package and starting up.
    kInfCannotOpen,
    kLogCannotOpen,
    kRunLogUnwritable,
    kDescriptionUnreadable,
    kCatalogueUnreadable,
    kSystemNotAccepted,       // Yes goes on on a system the package does not name
    kRequiredAppMissing,      // Yes goes on without the application
    kNothingInstalled,
    kInstallCheckFailed,      // or in the words of the check program's Message
    kOtherInstallerRunning,   // titled with the caption of the run that asks
    kPackageChanged,
    // A run that was cut off before.
    kInterruptedInstallRedone,
    kInterruptedRemovalCompleted,
    kInterruptedInstallRemoved,
    kInterruptedNoPackageHere,
    kInterruptedCannotComplete,
    // The wizard.
    kLeaveWizard,             // Yes leaves; No is the default button
    kLicenceCannotOpen,
    kTreeTooDeep,
    kDriveTypeUnsupported,
    kDriveNotFound,
    kFolderCannotCreate,        // a folder made for the run: a warning
    kTypedFolderCannotCreate,   // the folder typed on the folder page: an error
    // The engine's run.
    kFileCannotCopy,
    kCabinetCannotUnpack,
    kRegFileCannotOpen,
    kProgramFault,            // or in the words of the program's Message
    kCancelInstall,           // Yes cancels; No is the default button
    kRestartToContinue,       // Yes restarts Windows
    kRestartAfterRemoval,     // Yes restarts Windows
    // The "Замена файла" dialog: answered with a ReplaceAnswer.
    kReplaceFile,
};

struct QuestionForm {
    TextId text;
    UINT type;  // MB_* flags as for MessageBoxW; 0 for the replace dialog
};

QuestionForm FormOf(Question question);

}  // namespace tarnex
