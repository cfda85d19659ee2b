// Waiting on real peers: polling a condition, and telling when a peer
// listens on its SIP port.
#pragma once

#include <functional>
#include <string>

// Polls pred until it holds or timeoutMs passes; returns its last value. The
// limit only keeps a broken run from hanging; nothing depends on the speed.
bool waitUntil(const std::function<bool()> &pred, int timeoutMs = 20000);

// True once something listens on UDP ip:5060.
bool udpListening(const std::string &ip);
// The inode of the socket bound to UDP ip:5060; empty when there is none.
std::string udpInode(const std::string &ip);
// True once something listens on TCP ip:port.
bool tcpListening(const std::string &ip, int port);
