#pragma once
// The outcomes the Windows registry reports as codes rather than as failures of the file.
namespace tvr::platform {

enum class RegStatus {
    Ok,
    NotFound,   // the key, or the value, does not exist
    WrongType,  // the value exists with a type the operation does not read
    BadName,    // a key path or value name that the registry cannot hold
};

}  // namespace tvr::platform
