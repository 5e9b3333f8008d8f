#pragma once

#include <stdexcept>

// The record store could not be read or changed; the message names the file, folder or server and the
// reason.
class EStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The store is not in the store's form (edited by hand, damaged on the disk). It is left exactly as it
// is, for a person to look at; the message names the file and, where it can, the line.
class EStoreDamaged : public EStoreError {
public:
    using EStoreError::EStoreError;
};
