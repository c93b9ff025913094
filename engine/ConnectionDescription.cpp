#include "engine/ConnectionDescription.h"

namespace korvel
{

std::string ConnectionDescription::Place() const
{
    return HostOrAddress() +
           (Service.empty() ? " on port " + std::to_string(Port) : " on service " + Service);
}

std::string ConnectionDescription::Endpoint() const
{
    return HostOrAddress() + ':' + (Service.empty() ? std::to_string(Port) : Service);
}

} // namespace korvel
