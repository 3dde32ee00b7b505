#include "protocol/frames.h"

#include <QString>

namespace trv::frames {

QByteArray frame(QByteArrayView command) {
    QByteArray f = wire::kFramePrefix.toByteArray();
    f.append(command);
    f.append(wire::kEtx);
    return f;
}

QByteArray burst(QByteArrayView command, int count) { return frame(command).repeated(count); }

QByteArray dataCommand(const QString& cellText) {
    // Upper case is what the board reads; a lower-case cell stands for the same byte.
    return QByteArray("Y") + cellText.rightJustified(2, u'0').toUpper().toLatin1();
}

}  // namespace trv::frames
