// The libsecret schema of the passwords this program keeps: lookups match entries by its name and attributes.
#pragma once

#include <libsecret/secret.h>

namespace korvel::credentials
{

inline const SecretSchema* PasswordSchema()
{
    static const SecretSchema schema = []
    {
        SecretSchema built{};
        built.name = "org.korvel.admin.Password";
        built.flags = SECRET_SCHEMA_NONE;
        built.attributes[0] = {"target", SECRET_SCHEMA_ATTRIBUTE_STRING};
        built.attributes[1] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return built;
    }();
    return &schema;
}

} // namespace korvel::credentials
