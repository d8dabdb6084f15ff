#pragma once
// TIniFile: the settings file in Windows INI syntax, read and written the way
// the Windows profile functions do it, so that a file written on either side
// reads the same on the other:
// - section and key names compare case-insensitively;
// - blanks around names and values are dropped, and one pair of matching
//   quotes around a whole value is removed;
// - lines starting with ';' are comments; nothing is escaped (a backslash is
//   an ordinary character, unlike QSettings' INI format which escapes it);
// - writing a key keeps every other line of the file as it was.
// The file is read once at construction; Write* changes the in-memory copy and
// UpdateFile saves it in one piece (temporary file, then rename), so a failed
// save never leaves a half-written settings file behind.
#include <QString>
#include <QStringList>

namespace pressmark::gui {

class TIniFile {
public:
    // Reads the file if it exists; a missing or unreadable file reads as empty.
    explicit TIniFile(QString fileName);

    const QString& FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // A value that is not a decimal integer (optionally signed) reads as def.
    int ReadInteger(const QString& section, const QString& key, int def) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);

    // Saves the file, creating its folder if needed. Throws pressmark::WriteError
    // naming the file when it cannot be written.
    void UpdateFile() const;

private:
    // Index of the line holding [section], or -1.
    int findSection(const QString& section) const;
    // Index of the key's line inside the section starting at sectionLine, or -1.
    int findKey(int sectionLine, const QString& key) const;
    // One past the last non-blank line of the section starting at sectionLine.
    int sectionEnd(int sectionLine) const;

    QString fileName_;
    QStringList lines_;
};

}  // namespace pressmark::gui
