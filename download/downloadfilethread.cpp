#include "downloadfilethread.h"

DownloadFileThread::DownloadFileThread(QObject* parent)
    : QThread(parent)
{
}

DownloadFileThread::~DownloadFileThread()
{
    requestInterruption();
    wait();
}
