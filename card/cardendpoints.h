#pragma once

#include "httpclient.h"

#include <QByteArray>
#include <QString>

// The camera's CGI interface: where each call goes and the headers every
// call carries.
namespace CardEndpoints {

constexpr char kGetFileCount[] = "/cgi-bin/hi3510/getfilecount.cgi?";
constexpr char kGetFileList[] = "/cgi-bin/hi3510/getfilelist.cgi?&-start=1&-end=";
constexpr char kGetFileInfo[] = "/cgi-bin/hi3510/getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/";
constexpr char kDeleteFile[] = "/cgi-bin/hi3510/deletefile.cgi?&-name=sd/DCIM/100TQCAM/";
constexpr char kDeleteAllFiles[] = "/cgi-bin/hi3510/deleteallfiles.cgi?";
constexpr char kFormatCard[] = "/cgi-bin/hi3510/sdcommand.cgi?-format&-partition=1";

// The card folder as served over HTTP, for downloads.
constexpr char kCardFolder[] = "/sd/DCIM/100TQCAM/";

// Longest time one count, list, info or delete request may take.
constexpr int kRequestDeadlineMs = 10000;
// The camera answers delete-all and format only when the card is done, which
// takes a while on a large card.
constexpr int kMaintenanceDeadlineMs = 120000;

// "http://" + camera host (with its port, unless 80) + pathAndQuery.
QString url(const char* pathAndQuery);
// The same, followed by a card file name's bytes exactly as the camera
// lists them: no re-encoding, no escaping.
QByteArray url(const char* pathAndQuery, const QByteArray& cardName);

void insertDefaultHeaders(HeaderMap& headers);

} // namespace CardEndpoints
