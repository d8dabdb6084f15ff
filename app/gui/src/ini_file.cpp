#include "ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "pressmark/imaging/errors.h"

namespace pressmark::gui {
namespace {

bool isComment(const QString& trimmed) { return trimmed.startsWith(u';'); }

bool isSectionHeader(const QString& trimmed) {
    return trimmed.startsWith(u'[') && trimmed.contains(u']');
}

QString sectionName(const QString& trimmed) {
    return trimmed.mid(1, trimmed.indexOf(u']') - 1).trimmed();
}

// Splits "key = value" into its trimmed halves; false for a line without '='.
bool splitEntry(const QString& line, QString& key, QString& value) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) return false;
    key = line.left(eq).trimmed();
    value = line.mid(eq + 1).trimmed();
    return true;
}

QString unquote(const QString& value) {
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first) return value.mid(1, value.size() - 2);
    }
    return value;
}

}  // namespace

TIniFile::TIniFile(QString fileName) : fileName_(std::move(fileName)) {
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly)) return;
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines_ = text.split(u'\n');
    // A final line feed does not start another line.
    if (!lines_.isEmpty() && lines_.back().isEmpty()) lines_.removeLast();
}

int TIniFile::findSection(const QString& section) const {
    for (int i = 0; i < lines_.size(); ++i) {
        const QString trimmed = lines_[i].trimmed();
        if (isSectionHeader(trimmed) && sectionName(trimmed).compare(section, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int TIniFile::findKey(int sectionLine, const QString& key) const {
    for (int i = sectionLine + 1; i < lines_.size(); ++i) {
        const QString trimmed = lines_[i].trimmed();
        if (isSectionHeader(trimmed)) break;
        QString name, value;
        if (!isComment(trimmed) && splitEntry(trimmed, name, value) &&
            name.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int TIniFile::sectionEnd(int sectionLine) const {
    int end = sectionLine + 1;
    for (int i = sectionLine + 1; i < lines_.size(); ++i) {
        const QString trimmed = lines_[i].trimmed();
        if (isSectionHeader(trimmed)) break;
        if (!trimmed.isEmpty()) end = i + 1;
    }
    return end;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const int sectionLine = findSection(section);
    if (sectionLine < 0) return def;
    const int keyLine = findKey(sectionLine, key);
    if (keyLine < 0) return def;
    QString name, value;
    splitEntry(lines_[keyLine], name, value);
    return unquote(value);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    bool ok = false;
    const int value = ReadString(section, key, QString()).toInt(&ok, 10);
    return ok ? value : def;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString entry = key + u'=' + value;
    int sectionLine = findSection(section);
    if (sectionLine < 0) {
        lines_.append(u'[' + section + u']');
        lines_.append(entry);
        return;
    }
    const int keyLine = findKey(sectionLine, key);
    if (keyLine >= 0)
        lines_[keyLine] = entry;
    else
        lines_.insert(sectionEnd(sectionLine), entry);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::UpdateFile() const {
    const auto fail = [this](const QString& reason) {
        throw WriteError(fileName_.toStdString(), reason.toStdString());
    };
    const QFileInfo info(fileName_);
    if (!QDir().mkpath(info.absolutePath())) fail(QStringLiteral("the folder cannot be created"));
    QSaveFile file(fileName_);
    // A writable file in a folder we may not write to is still saved, in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) fail(file.errorString());
    QByteArray text;
    for (const QString& line : lines_) text += line.toUtf8() + '\n';
    if (file.write(text) != text.size()) fail(file.errorString());
    if (!file.commit()) fail(file.errorString());
}

}  // namespace pressmark::gui
