#include "retrieval/tcp_connection.h"

namespace korvo {

TcpConnection::TcpConnection(int connectTimeoutMs) : connectTimeoutMs_(connectTimeoutMs) {}

bool TcpConnection::connectTo(const std::string& host, int port, const std::atomic<bool>* cancel) {
  return socket_.connectTo(host, port, connectTimeoutMs_, cancel);
}

int TcpConnection::setReceiveTimeout(int milliseconds) {
  return socket_.setReceiveTimeout(milliseconds);
}

int TcpConnection::sendText(std::string_view text) { return socket_.sendText(text); }

int TcpConnection::receive(char* buffer, int size) { return socket_.receive(buffer, size); }

int TcpConnection::close() { return socket_.close(); }

}  // namespace korvo
