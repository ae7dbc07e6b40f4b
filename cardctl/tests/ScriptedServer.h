#pragma once
// A card server that misbehaves on purpose, run on a thread of its own so
// that the control's blocking calls can wait for it. Each connection runs
// the script; then the connection stays open until the client leaves.
#include "protocol/Message.h"

#include <QTcpSocket>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

class ScriptedServer {
public:
    using Script = std::function<void(QTcpSocket&)>;
    explicit ScriptedServer(Script script);
    ~ScriptedServer();

    quint16 port() const { return m_port; }

    // For scripts, on the server's thread.
    static void send(QTcpSocket& socket, const QByteArray& line);
    static void greet(QTcpSocket& socket, int protocol = 1);
    static std::optional<cardproto::Message> readRequest(QTcpSocket& socket, int timeoutMs = 5000);

private:
    Script m_script;
    std::atomic<bool> m_stop{false};
    quint16 m_port = 0;
    std::thread m_thread;
};
