#include "test_support.h"

namespace trv::test {

bool MessageRecorder::question(QWidget*, const QString& text, const QString& detail) {
    questions << text;
    questionDetails << detail;
    return answer && answer(text);
}

void MessageRecorder::message(msg::Kind kind, QWidget*, const QString& text,
                              const QString& detail) {
    messages.append({kind, text, detail});
}

QString MessageRecorder::openFileName(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialName) {
    return open ? open(parent, title, filter, initialName)
                : m_platform.openFileName(parent, title, filter, initialName);
}

QString MessageRecorder::saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialName) {
    return save ? save(parent, title, filter, initialName)
                : m_platform.saveFileName(parent, title, filter, initialName);
}

QString MessageRecorder::saveFileNameAsking(QWidget* parent, const QString& title,
                                            const QString& filter, const QString& initialName) {
    return saveAsking ? saveAsking(parent, title, filter, initialName)
                      : m_platform.saveFileNameAsking(parent, title, filter, initialName);
}

QStringList MessageRecorder::texts() const {
    QStringList list;
    for (const Message& m : messages) list << m.text;
    return list;
}

}  // namespace trv::test
