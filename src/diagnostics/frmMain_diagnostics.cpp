// Diagnostics of the main window: ping, audio level, and the buttons that open the
// statistics and SFN windows. (Filled in by the diagnostics work.)
#include "app/frmMain.h"

void frmMain::wireDiagnostics() {}
void frmMain::cmdPing_Click() {}
void frmMain::PingElement(const QString &) {}
void frmMain::chkGetVolume_Click() {}
void frmMain::SendLevelRequest() {}
void frmMain::ShowAudioLevel(const QByteArray &) {}
void frmMain::Slider1_Change() {}
void frmMain::cmdAdjust_Click() {}
void frmMain::cmdGetStats_Click() {}
