#pragma once

#include <cstdint>

// What a SIM transfer came to. The numbers are those the person is shown ("Error #4").
enum class TSimResult : uint8_t {
    Done = 0,
    NoHandset = 1,
    NotRead = 2,
    NoSerialNumber = 3,
    NotErased = 4,
    // The erase of the serial number was sent, but whether the handset took it is not known.
    EraseUnknown = 5,
    NoRecord = 6,
    FileNotWritten = 8,
    NotSupported = 9,
    NotValid = 10,
    NotOpened = 11,
    NotWritten = 12,
    OtherSoftware = 13,
    NotCompatible = 14,
    // The file's SIM is in a move that did not finish; Detail says how to finish it.
    MoveUnfinished = 15,
    // The receiving handset holds a SIM of its own, which the write would destroy.
    HandsetHoldsSim = 16,
    // The file is not the size of the receiving handset's SIM.
    WrongSize = 17,
    // Another program, here or on another PC sharing the records, is moving the same SIM.
    MoveBusy = 18,
    // A stop was asked for while the handset was read: nothing was changed, no file written.
    Stopped = 19,
};

// The result's name, as a test or a log shows it ("MoveBusy").
const char* SimResultName(TSimResult result);
