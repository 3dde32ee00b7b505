#include "protocol/frames.h"

#include <QString>

namespace trv::frames {

QByteArray frame(QByteArrayView command) {
    QByteArray f = QByteArrayLiteral("_31\x02");
    f.append(command);
    f.append('\x03');
    return f;
}

QByteArray burst(QByteArrayView command, int count) { return frame(command).repeated(count); }

QByteArray dataCommand(const QString& cellText) {
    // Upper case is what the board reads; a lower-case cell stands for the same byte.
    return QByteArray("Y") + cellText.rightJustified(2, u'0').toUpper().toLatin1();
}

}  // namespace trv::frames
