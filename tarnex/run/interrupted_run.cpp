#include "run/interrupted_run.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "engine/delayed_file_ops.h"
#include "engine/install_engine.h"
#include "engine/package_reload.h"
#include "engine/portable/step_table.h"
#include "run/self_removal.h"
#include "run/startup_checks.h"
#include "services/app_context.h"
#include "services/folder_paths.h"
#include "services/message_box.h"
#include "services/registry_access.h"
#include "services/setup_log.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {


bool Listed(const std::vector<std::wstring>& identities, const ComponentRecord& c) {
    return std::find(identities.begin(), identities.end(), ComponentIdentity(c)) != identities.end();
}

// The interrupted run's choice. A removal takes whatever may be on the
// system: what was installed at its start and what it was putting there.
void ApplyChoice(SetupDescription& d, const RunMark& mark, bool removal) {
    std::int32_t installed = 0;
    for (ComponentRecord& c : d.ComponentList) {
        if (c.Number == 0) continue;
        c.Installed = Listed(mark.Installed, c) || (removal && Listed(mark.Selected, c)) ? 1 : 0;
        c.Selected = removal ? c.Installed : Listed(mark.Selected, c) ? 1 : 0;
        installed += c.Installed;
    }
    d.InstalledCount = installed;
    for (ComponentRecord& c : d.ComponentList)
        if (c.Number == 0) {
            c.Installed = installed != 0 ? 1 : 0;
            c.Selected = 1;
        }
    vrel::CopyToField(d.PreviousInstallFolder, std::wstring_view(mark.Folder));
    vrel::CopyToField(d.InstallFolder, std::wstring_view(mark.Folder));
    d.AccessVersion = static_cast<std::int32_t>(mark.Access);
}

void Tell(Question news) {
    if (!App().Quiet) Ask(nullptr, news);
}

TakeOver CannotComplete(const SetupDescription& d, const RunMark& mark) {
    WriteLog(L"The interrupted run cannot be completed: the package's INF files cannot be read. Left: the folder " +
             mark.Folder + L" and the key " + d.KeyPath + L"\r\n");
    Ask(nullptr, Question::kInterruptedCannotComplete, mark.Folder.c_str(), d.KeyPath);
    return TakeOver::CannotComplete;
}

// What a removal does after its fifteenth step, when that was all that was
// left: the INF copies, the package key, the empty folders and the copy.
TakeOver EndRemoval(SetupDescription& d, const RunMark& mark, bool fromCopy) {
    AppContext& app = App();
    app.CompletingInterruptedRun = true;
    WriteLog(L"Completing the interrupted removal: its steps were done, the installer's copy and folders are left\r\n");
    vrel::CopyToField(d.PreviousInstallFolder, std::wstring_view(mark.Folder));
    SubstitutePackagePaths();
    DeleteInfCopies(d);
    DeleteRegTree(d.KeyRoot, d.KeyPath);
    RemoveEmptySubfolders(d.InstallFolder);
    if (fromCopy) {
        RemoveOwnCopy();
    } else {
        ::SetCurrentDirectoryW(app.ProgramFolder);
        for (const ComponentRecord& c : d.ComponentList)
            if (c.Number == 0) DeleteComponentFiles(d, c);
        RemoveEmptySubfolders(d.InstallFolder);
        ::RemoveDirectoryW(d.InstallFolder);
    }
    return TakeOver::RemovalEnded;
}

}  // namespace

TakeOver TakeOverInterruptedRun(const RunMark& mark, bool catalogueRead) {
    AppContext& app = App();
    SetupDescription& d = Description();
    // The copy in the install folder runs; anywhere else the package does.
    const bool fromCopy = mark.Folder == app.ProgramFolder;
    const bool removalMark = IsRemovalMode(mark.Mode);
    const bool removalAsked = app.Mode == AS_DEL;
    WriteLogF(L"Found the mark of an interrupted run: %s in %s, its last step done %u\r\n", ModeName(mark.Mode),
              mark.Folder.c_str(), static_cast<unsigned>(mark.LastStep));

    if (removalMark && mark.LastStep >= kStepCount) {
        Tell(Question::kInterruptedRemovalCompleted);
        return EndRemoval(d, mark, fromCopy);
    }
    if (!removalMark && !removalAsked && fromCopy) {
        WriteLog(L"The interrupted installation cannot be completed by the installed copy: it has no package files\r\n");
        Ask(nullptr, Question::kInterruptedNoPackageHere);
        return TakeOver::CannotComplete;
    }
    if (!catalogueRead) return CannotComplete(d, mark);

    const bool removal = removalMark || removalAsked;
    if (removal) {
        // A removal works with the removal sections.
        app.Mode = fromCopy ? AS_DEL : AS_SD;
        if (ReloadPackage(d)) return CannotComplete(d, mark);
    } else {
        app.Mode = mark.Mode;
    }
    ApplyChoice(d, mark, removal);
    app.CompletingInterruptedRun = true;
    if (removal && !removalMark) {
        // What its step 3 left under temporary names goes first; the
        // removal's own steps know only the files in place.
        SubstitutePackagePaths();
        DeleteTemporaryCopies(d);
    }
    if (removalMark) {
        WriteLog(L"Completing the interrupted removal\r\n");
        Tell(Question::kInterruptedRemovalCompleted);
    } else if (removal) {
        WriteLog(L"Removing what the interrupted installation put in place\r\n");
        Tell(Question::kInterruptedInstallRemoved);
    } else {
        WriteLog(L"Carrying out the interrupted installation again with its choice\r\n");
        Tell(Question::kInterruptedInstallRedone);
    }
    return TakeOver::Completing;
}

}  // namespace tarnex
