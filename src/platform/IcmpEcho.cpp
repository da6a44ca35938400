#include "platform/IcmpEcho.h"

// Not written yet: every request fails.
namespace platform {
struct IcmpEcho::Impl {};
IcmpEcho::IcmpEcho(QObject *parent) : QObject(parent), d(std::make_unique<Impl>()) {}
IcmpEcho::~IcmpEcho() = default;
bool IcmpEcho::start(const QString &, const QByteArray &, int) { m_failure = QStringLiteral("not available"); return false; }
void IcmpEcho::cancel() {}
bool IcmpEcho::isBusy() const { return false; }
} // namespace platform
