// The ids of the installer's string table (strings.rc), named for what each
// text says. Code and tests name a text only through these.
#pragma once

namespace tarnex {

enum class TextId : unsigned {
    // Reading the package and starting up.
    kInfCannotOpen = 1,
    kLogCannotOpen = 2,
    kDescriptionUnreadable = 3,
    kSetupCaption = 4,
    kSystemNotAcceptedQuestion = 5,
    kCatalogueUnreadable = 6,
    kRequiredAppMissingQuestion = 7,
    kNothingInstalled = 50,
    kInstallCheckFailed = 58,
    kOtherInstallerRunning = 62,
    kRunLogUnwritable = 66,
    kPackageChanged = 80,

    // A run that was cut off before.
    kInterruptedInstallRedone = 67,
    kInterruptedRemovalCompleted = 68,
    kInterruptedInstallRemoved = 69,
    kInterruptedNoPackageHere = 70,
    kInterruptedCannotComplete = 71,

    // The wizard's pages.
    kLeaveWizardQuestion = 8,
    kLicenceCannotOpen = 9,
    kBrowseFolderTitle = 10,
    kFolderCannotCreate = 11,
    kTreeTooDeep = 12,
    kSizeBytes = 13,
    kSizeGigabytes = 14,
    kSizeMegabytes = 15,
    kSizeKilobytes = 16,
    kFreeOnDrive = 17,
    kDriveTypeUnsupported = 55,
    kDriveNotFound = 56,
    kSummaryInstallOptions = 18,
    kSummaryAccessVersion = 19,
    kSummaryComponents = 20,
    kSummaryInstallFolder = 21,
    kSummaryToRemove = 22,
    kSummaryToRepair = 23,
    kSummaryStartInstall = 53,
    kSummaryStartRemoval = 54,
    kSummaryUpgradeTakesAway = 81,
    kSummaryUpgradeCounts = 82,
    kSummaryUpgradeOfUnknownVersion = 83,
    kPleaseWait = 60,
    kFinishButton = 59,
    kComponentInstalled = 45,
    kComponentReinstalled = 46,
    kComponentRemoved = 47,
    kComponentSucceeded = 48,

    // The "Замена файла" dialog: size, stamp and version of one file.
    kReplaceFileLine = 24,

    // The engine's run.
    kFileCannotCopy = 25,
    kCabinetCannotUnpack = 26,
    kFileCannotOpen = 28,
    kStepCounter = 29,
    kStepPaths = 30,
    kStepUnpackAndCopy = 31,
    kStepUnregisterFiles = 32,
    kStepDeleteFiles = 33,
    kStepDeleteRegistryData = 34,
    kStepDeleteShortcuts = 35,
    kStepDeleteVariables = 36,
    kStepRenameFiles = 37,
    kStepWriteRegistryData = 38,
    kStepCreateShortcuts = 39,
    kStepCreateVariables = 40,
    kStepRegisterFiles = 41,
    kStepRunPrograms = 42,
    kStepInstallerData = 43,
    kCancelInstallQuestion = 44,
    kProgramFault = 57,
    kInstallDone = 63,
    kRemovalDone = 64,
    kRunFailed = 65,
    kRestartToContinueQuestion = 51,
    kRestartAfterRemovalQuestion = 52,
};

}  // namespace tarnex
