#pragma once
// Identification of this server build: user agents, the "Version" rule and script constants.

#define SERVER_VERSION_MAJOR 1
#define SERVER_VERSION_MINOR 7
#define SERVER_VERSION_PATCH 1
#define SERVER_VERSION_TEXT "1.7.1"
#define SERVER_USER_AGENT "CorvidServer/" SERVER_VERSION_TEXT
