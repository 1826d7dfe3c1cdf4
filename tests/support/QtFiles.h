#pragma once
#include <QtCore/QByteArray>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QString>

// Files below a test's home folder, for the tests that use Qt.
namespace torvinel::test {

// Writes bytes to root/relative, making its folders; a failure ends the test program.
inline QString writeBelow(const QString& root, const QString& relative, const QByteArray& bytes)
{
    const QString path = root + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The content of root/relative; empty when it cannot be read.
inline QByteArray readBelow(const QString& root, const QString& relative)
{
    QFile file(root + "/" + relative);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace torvinel::test
