// The Firebird client connects its TCP socket without a time limit of its
// own (the attachment's connect time-out starts once the socket is up), so
// a host that never answers the handshake would hold an attach for the
// kernel's SYN retries, over two minutes. Before attaching to a server the
// driver makes the handshake itself, within a bound.
#pragma once
#include <string>

namespace kvdriver::firebird {

// Where a remote attachment goes: the host and port of the Server and Port
// lines ("host/port" in Server wins; 3050 when neither names one).
struct ServerAddress {
    std::string host;
    std::string port;
};
ServerAddress AddressOf(const std::string& server, const std::string& port);

// Throws a database error with ConnectionLost() set when no address of the
// host completes a TCP handshake within `seconds`. A refused connection or
// a host that cannot be looked up returns: the attach then reports it in the
// client library's own words.
void ProbeServer(const ServerAddress& address, int seconds);

}  // namespace kvdriver::firebird
