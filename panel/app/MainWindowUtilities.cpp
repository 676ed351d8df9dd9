#include "MainWindow.h"

#include "IpText.h"
#include "LevelControl.h"
#include "MessageBox.h"
#include "MonitorWindow.h"
#include "OperatorColumn.h"
#include "SpeedButton.h"

#include <QAction>

void TMainWindow::OpenMonitorList() {
    if (!FSettings.FSfpEnabled || FMonitorDlg)
        return;
    const TLevels levels = FSession->Levels();
    QStringList captions;
    for (int i = 0; i < std::min(levels.SwitcherCount, 4); ++i)
        captions << MonitorCaption(levels.SwitcherIP[static_cast<std::size_t>(i)], levels.Count,
                                   levels.IP, levels.Address,
                                   [this](int j) { return Column->LevelControl->GetLevelName(j); });
    TMonitorWindow dialog(captions, this);
    dialog.move(geometry().center() - dialog.rect().center());
    int pressed = 0;
    dialog.OnPress = [&pressed](int i) { pressed = i; };
    FMonitorDlg = &dialog;
    MarkRunningUtilities(); // colour the buttons at once
    RunModal([&] { msgbox::ExecDialog(dialog); });
    FMonitorDlg = nullptr;
    // The list of switchers is the one the buttons were made for.
    const TLevels& now = FSession->Levels();
    if (pressed != 0 && !FClosing && levels.SwitcherIP == now.SwitcherIP &&
        levels.SwitcherCount == now.SwitcherCount)
        FUtilities.Launch(pressed, now.SwitcherCount,
                          QString::fromStdString(
                              FormatIP(now.SwitcherIP[static_cast<std::size_t>(pressed - 1)])));
}

void TMainWindow::ToggleMonitorEnabled() {
    FSettings.FSfpEnabled = !FSettings.FSfpEnabled;
    Column->SBtnMonitor->setEnabled(FSettings.FSfpEnabled);
    if (!FSettings.FSfpEnabled)
        FUtilities.QuitAll();
}
