#include "ScriptedServer.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <future>

ScriptedServer::ScriptedServer(Script script) : m_script(std::move(script))
{
    std::promise<quint16> listening;
    auto port = listening.get_future();
    m_thread = std::thread([this, &listening] {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        listening.set_value(server.serverPort());
        while (!m_stop) {
            if (!server.waitForNewConnection(20)) continue;
            QTcpSocket* socket = server.nextPendingConnection();
            m_script(*socket);
            while (!m_stop && socket->state() == QAbstractSocket::ConnectedState) {
                socket->waitForReadyRead(20);
                socket->readAll();
            }
            delete socket;
        }
    });
    m_port = port.get();
}

ScriptedServer::~ScriptedServer()
{
    m_stop = true;
    m_thread.join();
}

void ScriptedServer::send(QTcpSocket& socket, const QByteArray& line)
{
    socket.write(line + '\n');
    socket.waitForBytesWritten(1000);
}

void ScriptedServer::greet(QTcpSocket& socket, int protocol)
{
    send(socket, QByteArray(R"({"hello":"scripted","protocol":)") + QByteArray::number(protocol)
                     + R"(,"cards":1})");
}

std::optional<cardproto::Message> ScriptedServer::readRequest(QTcpSocket& socket, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || socket.state() != QAbstractSocket::ConnectedState) return std::nullopt;
        socket.waitForReadyRead(20);
    }
    QString error;
    return cardproto::Message::parse(socket.readLine().trimmed(), &error);
}
