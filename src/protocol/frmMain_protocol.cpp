// Main socket of the main window: datagram dispatch, feedback messages, reply handling and
// the configuration command. (Filled in by the protocol work.)
#include "app/frmMain.h"

void frmMain::wireProtocol() {}
void frmMain::udpClient_DataArrival(const QByteArray &) {}
void frmMain::ParseFeedback(const QByteArray &) {}
void frmMain::SaveChanges() {}
void frmMain::SendConfiguration() {}
void frmMain::timerRemoteSent_Timer() {}
void frmMain::handleCheckedFeedback() {}
void frmMain::storeDiscoveredElement() {}
void frmMain::confirmConfiguration() {}
