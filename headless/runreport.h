#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdio>

// What a run without a window tells: lines for a person on standard output
// (on standard error when the summary goes out as JSON, so that standard
// output holds the document alone), failures on standard error, one progress
// line redrawn in place on a terminal, and with --json the summary at the end.
class RunReport
{
public:
    RunReport(bool quiet, bool json);
    ~RunReport();

    // "12.3 MB", or "size unknown" for -1.
    static QString sizeText(qint64 bytes);

    bool isTerminal() const { return terminal; }
    bool isJson() const { return json; }
    void say(const QString& text);
    void fail(const QString& text);
    // Redrawn in place; only on a terminal, and not when quiet.
    void progress(const QString& line);
    void endProgressLine();
    // The summary: one document, on standard output.
    void summary(const QJsonObject& document);

private:
    std::FILE* lines() const { return json ? stderr : stdout; }

    bool quiet;
    bool json;
    bool terminal;
    bool shown = false;
    int width = 0;
};
