#pragma once
// The roll of one exchange: a Windows-1251 text file, CR LF line ends,
// appended to for ever. It holds the directive echoes and the printouts.
#include <QFile>
#include <QString>

class Roll {
public:
    explicit Roll(const QString& fileName);
    Roll(const Roll&) = delete;
    Roll& operator=(const Roll&) = delete;

    QString FileName() const { return m_file.fileName(); }
    // Opens the file for appending, creating it (and its folder) when
    // missing; never truncates. False when it cannot be opened.
    bool Open();
    // Appends the Windows-1251 bytes of text at the end; false on failure.
    bool Write(const QString& text);

    // The roll text of a directive echo: on a new stamped line, or bare when
    // the receive side has just stamped the line.
    static QString EchoText(const QString& directive, bool lineStamped);

private:
    QFile m_file;
};
