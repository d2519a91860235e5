#include "cardendpoints.h"

#include "deviceaddresses.h"

namespace CardEndpoints {

QString url(const char* pathAndQuery)
{
    const merro::Endpoint& camera = merro::deviceAddresses().camera;
    QString url = QStringLiteral("http://") + QString::fromStdString(camera.host);
    if (camera.port != 80)
        url += QLatin1Char(':') + QString::number(camera.port);
    return url + QLatin1String(pathAndQuery);
}

QByteArray url(const char* pathAndQuery, const QByteArray& cardName)
{
    return url(pathAndQuery).toLatin1() + cardName;
}

void insertDefaultHeaders(HeaderMap& headers)
{
    headers["Accept"] = "*/*";
    headers["Accept-Language"] = "zh-CN";
    headers["User-Agent"] = "SDK C++ http client";
    headers["Connection"] = "Keep-Alive";
}

} // namespace CardEndpoints
