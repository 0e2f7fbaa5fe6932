#include "services/question.h"

namespace tarnex {

QuestionForm FormOf(Question question) {
    constexpr UINT kLeaningNo = kQuestionBox | MB_DEFBUTTON2;
    switch (question) {
    case Question::kInfCannotOpen: return {TextId::kInfCannotOpen, kErrorBox};
    case Question::kLogCannotOpen: return {TextId::kLogCannotOpen, kWarningBox};
    case Question::kRunLogUnwritable: return {TextId::kRunLogUnwritable, kErrorBox};
    case Question::kDescriptionUnreadable: return {TextId::kDescriptionUnreadable, kErrorBox};
    case Question::kCatalogueUnreadable: return {TextId::kCatalogueUnreadable, kErrorBox};
    case Question::kSystemNotAccepted: return {TextId::kSystemNotAcceptedQuestion, kQuestionBox};
    case Question::kRequiredAppMissing: return {TextId::kRequiredAppMissingQuestion, kQuestionBox};
    case Question::kNothingInstalled: return {TextId::kNothingInstalled, kErrorBox};
    case Question::kInstallCheckFailed: return {TextId::kInstallCheckFailed, kErrorBox};
    case Question::kOtherInstallerRunning: return {TextId::kOtherInstallerRunning, MB_OK};
    case Question::kPackageChanged: return {TextId::kPackageChanged, kErrorBox};
    case Question::kInterruptedInstallRedone: return {TextId::kInterruptedInstallRedone, kWarningBox};
    case Question::kInterruptedRemovalCompleted: return {TextId::kInterruptedRemovalCompleted, kWarningBox};
    case Question::kInterruptedInstallRemoved: return {TextId::kInterruptedInstallRemoved, kWarningBox};
    case Question::kInterruptedNoPackageHere: return {TextId::kInterruptedNoPackageHere, kErrorBox};
    case Question::kInterruptedCannotComplete: return {TextId::kInterruptedCannotComplete, kErrorBox};
    case Question::kLeaveWizard: return {TextId::kLeaveWizardQuestion, kLeaningNo};
    case Question::kLicenceCannotOpen: return {TextId::kLicenceCannotOpen, kWarningBox};
    case Question::kTreeTooDeep: return {TextId::kTreeTooDeep, kErrorBox};
    case Question::kDriveTypeUnsupported: return {TextId::kDriveTypeUnsupported, MB_OK};
    case Question::kDriveNotFound: return {TextId::kDriveNotFound, MB_OK};
    case Question::kFolderCannotCreate: return {TextId::kFolderCannotCreate, kWarningBox};
    case Question::kTypedFolderCannotCreate: return {TextId::kFolderCannotCreate, kErrorBox};
    case Question::kFileCannotCopy: return {TextId::kFileCannotCopy, kErrorBox};
    case Question::kCabinetCannotUnpack: return {TextId::kCabinetCannotUnpack, kErrorBox};
    case Question::kRegFileCannotOpen: return {TextId::kFileCannotOpen, kWarningBox};
    case Question::kProgramFault: return {TextId::kProgramFault, kErrorBox};
    case Question::kCancelInstall: return {TextId::kCancelInstallQuestion, kLeaningNo};
    case Question::kRestartToContinue: return {TextId::kRestartToContinueQuestion, kQuestionBox};
    case Question::kRestartAfterRemoval: return {TextId::kRestartAfterRemovalQuestion, kQuestionBox};
    case Question::kReplaceFile: return {TextId::kReplaceFileLine, 0};
    }
    return {TextId::kSetupCaption, MB_OK};
}

}  // namespace tarnex
