#pragma once

#include <QThread>

class DownloadFileThread : public QThread
{
    Q_OBJECT
public:
    explicit DownloadFileThread(QObject* parent = nullptr);
    ~DownloadFileThread() override;
};
