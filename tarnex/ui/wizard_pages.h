// The pages of the wizard, each made for the frame that hosts it.
#pragma once

#include <memory>

#include "ui/wizard_frame.h"

namespace tarnex {

std::unique_ptr<WizardPage> MakeWelcomePage(WizardFrame& frame);
std::unique_ptr<WizardPage> MakeLicencePage(WizardFrame& frame);
std::unique_ptr<WizardPage> MakeFolderPage(WizardFrame& frame);
std::unique_ptr<WizardPage> MakeComponentPage(WizardFrame& frame);
std::unique_ptr<WizardPage> MakeSummaryPage(WizardFrame& frame);
std::unique_ptr<WizardPage> MakeProgressPage(WizardFrame& frame);
std::unique_ptr<WizardPage> MakeFinishPage(WizardFrame& frame);
std::unique_ptr<WizardPage> MakeModePage(WizardFrame& frame);
std::unique_ptr<WizardPage> MakeAccessPage(WizardFrame& frame);

}  // namespace tarnex
