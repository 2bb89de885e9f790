#include "platform/tcp_socket.h"
// Filled in with the HTTP client.
namespace korvo {
TcpSocket::TcpSocket() = default;
TcpSocket::~TcpSocket() = default;
bool TcpSocket::connectTo(const std::string&, int, int) { return false; }
int TcpSocket::setReceiveTimeout(int) { return -1; }
int TcpSocket::sendText(std::string_view) { return -1; }
int TcpSocket::receive(char*, int) { return -1; }
int TcpSocket::close() { return -1; }
}
