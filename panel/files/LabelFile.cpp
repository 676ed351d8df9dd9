#include "LabelFile.h"

#include "IniFile.h"
#include "QuotedInput.h"

#include <QStringDecoder>
#include <QStringList>
#include <QStringTokenizer>

#include <set>

namespace {

constexpr int MaxFieldChars = 4096;

QString Field(const QString& text) {
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                       text != text.trimmed();
    if (!quote)
        return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

void Block(QString& out, const char* side, const std::array<QString, 256>& names,
           const std::array<QString, 256>& logos, int count) {
    out += QString::fromLatin1(side) + QStringLiteral(",name,logo\n");
    for (int i = 0; i < count && i < 256; ++i)
        out += QString::number(i + 1) + QLatin1Char(',') +
               Field(names[static_cast<std::size_t>(i)]) + QLatin1Char(',') +
               Field(logos[static_cast<std::size_t>(i)]) + QLatin1Char('\n');
}

// One line's fields; false on an unbalanced quote.
bool SplitCsv(const QString& line, QStringList& fields) {
    fields.clear();
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
            field.clear();
        } else if (c == QLatin1Char(',')) {
            fields << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else if (!wasQuoted) {
            field += c;
        } else if (!c.isSpace()) {
            return false; // text after a closing quote
        }
    }
    if (quoted)
        return false;
    fields << (wasQuoted ? field : field.trimmed());
    return true;
}

// A row's number: decimal digits only (blanks around them were trimmed);
// -1 for anything else, a NUL or a sign included.
int RowNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 9)
        return -1;
    int n = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        n = n * 10 + (c.unicode() - '0');
    }
    return n;
}

bool HasControl(const QString& text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

} // namespace

namespace labelfile {

QByteArray Write(const std::array<QString, 256>& inputNames,
                 const std::array<QString, 256>& inputLogos, int inputs,
                 const std::array<QString, 256>& outputNames,
                 const std::array<QString, 256>& outputLogos, int outputs) {
    QString out;
    Block(out, "input", inputNames, inputLogos, inputs);
    Block(out, "output", outputNames, outputLogos, outputs);
    return out.toUtf8();
}

bool Read(const QByteArray& text, int inputs, int outputs, TLabels& labels, QString* error) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString all = utf8.decode(text);
    if (utf8.hasError()) {
        *error = QStringLiteral("the file is not UTF-8 text");
        return false;
    }
    TLabels read;
    std::vector<TLabel>* side = nullptr;
    int count = 0;
    std::set<int> seen;
    // Line by line without a list of them all: a file of millions of blank
    // lines costs no more memory than its text.
    qsizetype n = -1;
    for (QStringView view : QStringView(all).tokenize(u'\n')) {
        ++n;
        if (view.endsWith(u'\r'))
            view.chop(1);
        if (n == 0 && view.startsWith(QChar(0xFEFF)))
            view = view.mid(1); // a byte order mark, as spreadsheets write it
        if (view.trimmed().isEmpty())
            continue;
        const QString line = view.toString();
        auto fault = [&](const QString& why) {
            *error = QStringLiteral("line %1: %2").arg(n + 1).arg(why);
            return false;
        };
        QStringList f;
        if (!SplitCsv(line, f))
            return fault(QStringLiteral("a quote is not closed"));
        const QString head = f[0].toLower();
        if ((head == QLatin1String("input") || head == QLatin1String("output")) && f.size() >= 2 &&
            f[1].compare(QLatin1String("name"), Qt::CaseInsensitive) == 0) {
            const bool input = head == QLatin1String("input");
            if (input ? read.HasInputs : read.HasOutputs)
                return fault(QStringLiteral("a second %1 block").arg(head));
            (input ? read.HasInputs : read.HasOutputs) = true;
            side = input ? &read.Inputs : &read.Outputs;
            count = input ? inputs : outputs;
            seen.clear();
            continue;
        }
        if (!side)
            return fault(QStringLiteral("the first line must be input,name,logo or "
                                        "output,name,logo"));
        if (f.size() < 2 || f.size() > 3)
            return fault(QStringLiteral("a row is number,name[,logo]"));
        const int number = RowNumber(f[0]);
        if (number < 1 || number > count)
            return fault(QStringLiteral("\"%1\" is not a number from 1 to %2")
                             .arg(QuotedInput(f[0]))
                             .arg(count));
        if (!seen.insert(number).second)
            return fault(QStringLiteral("number %1 comes twice").arg(number));
        // The INI file trims what it reads back: blanks at either end of a name
        // or a logo path are not kept, so an import stores what a reader sees.
        const QString name = f[1].trimmed();
        const QString logo = f.size() > 2 ? f[2].trimmed() : QString();
        if (HasControl(name) || HasControl(logo))
            return fault(QStringLiteral("a control character"));
        if (name.size() > MaxFieldChars || logo.size() > MaxFieldChars)
            return fault(QStringLiteral("a name or logo over %1 characters").arg(MaxFieldChars));
        side->push_back({number, name, logo});
    }
    if (!read.HasInputs && !read.HasOutputs) {
        *error = QStringLiteral("no input or output block");
        return false;
    }
    labels = std::move(read);
    return true;
}

bool Apply(TIniFile& ini, const TLabels& labels, QString* error) {
    auto put = [&](const char* section, const std::vector<TLabel>& rows) {
        for (const TLabel& l : rows) {
            const std::string n = std::to_string(l.Number - 1);
            ini.WriteString(section, "NAME" + n, l.Name.toStdString());
            ini.WriteString(section, "LOGO" + n, l.Logo.toStdString());
        }
    };
    put("INPUTS", labels.Inputs);
    put("OUTPUTS", labels.Outputs);
    if (ini.Save())
        return true;
    *error = QString::fromStdString(ini.LastError());
    return false;
}

} // namespace labelfile
