# The version record, our stand-in for a program file's version resource: every program of ours carries
# one, made from the project's name, version, description and home page (platform/VersionRecord.h
# reads it). The build time is the time the build was configured, or SOURCE_DATE_EPOCH when that is set,
# so that a package built twice from one source is the same.
set(QUORVEL_COMPANY "The Quorvel developers" CACHE STRING "Company name in the programs' version records")
# The desktop's name of the program: its menu entry, icon and metainfo, and the window's desktop file.
set(QUORVEL_APP_ID "org.example.Quorvel" CACHE STRING "Reverse-DNS name of the program for the desktop")
set(QUORVEL_EMAIL "quorvel@example.org" CACHE STRING "Mail address in the programs' version records")
string(TIMESTAMP QUORVEL_BUILD_TIME "%Y-%m-%dT%H:%M:%SZ" UTC)
string(TIMESTAMP QUORVEL_BUILD_YEAR "%Y" UTC)
set(QUORVEL_COPYRIGHT "Copyright (C) ${QUORVEL_BUILD_YEAR} ${QUORVEL_COMPANY}")

# quorvel_version_record(TARGET DESCRIPTION): the record of one program, compiled into it.
function(quorvel_version_record target description)
    set(QVR_TARGET ${target})
    set(QVR_FILE ${target}${CMAKE_EXECUTABLE_SUFFIX})
    set(QVR_DESCRIPTION ${description})
    set(source ${CMAKE_BINARY_DIR}/version-records/${target}.cpp)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionRecord.cpp.in ${source} @ONLY)
    target_sources(${target} PRIVATE ${source})
endfunction()
