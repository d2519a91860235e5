#include "cardendpoints.h"

#include "deviceconfig.h"

namespace CardEndpoints {

QString url(const char* pathAndQuery)
{
    return QStringLiteral("http://") + QLatin1String(merro::kCameraHost)
           + QLatin1String(pathAndQuery);
}

void insertDefaultHeaders(HeaderMap& headers)
{
    headers["Accept"] = "*/*";
    headers["Accept-Language"] = "zh-CN";
    headers["User-Agent"] = "SDK C++ http client";
    headers["Connection"] = "Keep-Alive";
}

} // namespace CardEndpoints
