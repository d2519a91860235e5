#include "runreport.h"

#include "platformterminal.h"

#include <QJsonDocument>
#include <QLocale>

#include <algorithm>

RunReport::RunReport(bool quiet, bool json)
    : quiet(quiet), json(json), terminal(merro::term::outputIsTerminal(json))
{
}

RunReport::~RunReport()
{
    endProgressLine();
}

QString RunReport::sizeText(qint64 bytes)
{
    return bytes < 0 ? QStringLiteral("size unknown")
                     : QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

void RunReport::say(const QString& text)
{
    if (quiet)
        return;
    endProgressLine();
    std::fprintf(lines(), "%s\n", qPrintable(text));
    std::fflush(lines());
}

void RunReport::fail(const QString& text)
{
    if (text.isEmpty())
        return;
    endProgressLine();
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

void RunReport::progress(const QString& line)
{
    if (!terminal || quiet)
        return;
    // Back to the line's start, the text, blanks over the rest of the last
    // one: a console need not know escape sequences.
    const int blanks = std::max(0, width - static_cast<int>(line.size()));
    std::fprintf(lines(), "\r%s%s", qPrintable(line),
                 qPrintable(QString(blanks, QLatin1Char(' '))));
    std::fflush(lines());
    width = line.size();
    shown = true;
}

void RunReport::endProgressLine()
{
    if (!shown)
        return;
    shown = false;
    std::fprintf(lines(), "\r%s\r", qPrintable(QString(width, QLatin1Char(' '))));
    std::fflush(lines());
    width = 0;
}

void RunReport::summary(const QJsonObject& document)
{
    if (!json)
        return;
    endProgressLine();
    std::fputs(QJsonDocument(document).toJson(QJsonDocument::Indented).constData(), stdout);
    std::fflush(stdout);
}
