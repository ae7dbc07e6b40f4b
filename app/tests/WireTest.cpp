// What the main window and the configuration dialog put on the wire: every
// call of the session, the mode control and the card search, read back from
// the lines a scripted server received, with each argument's type and
// by-reference flag. A card control that widened an integer, sent the
// Boolean as a number or dropped a reference would pass every test that
// looks only at the window or only at the control.
#include "app/MainWindow.h"
#include "app/tests/WindowTestFixture.h"
#include "cardctl/tests/ScriptedServer.h"
#include "config/ConfigDialog.h"
#include "config/ConfigForm.h"
#include "platform/MessageBox.h"
#include "platform/PumpedWait.h"
#include "platform/testing/QtPrinters.h"
#include "platform/testing/WaitFor.h"
#include "session/SessionHandlers.h"
#include "settings/SettingsStore.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <mutex>

namespace {

const QString kApp = QStringLiteral("Pluvane");

// "SetMode(str \"\", ref r8 50, i2 -1, bool false)": the type key and value
// of each argument as it travelled, "ref" only for "ref": true, and any
// other key spelt out so that it shows in a comparison.
QString describeRequest(const QByteArray& line)
{
    const QJsonObject request = QJsonDocument::fromJson(line).object();
    QStringList args;
    for (const QJsonValue& value : request.value("args").toArray()) {
        const QJsonObject arg = value.toObject();
        QString text;
        for (auto it = arg.begin(); it != arg.end(); ++it) {
            if (it.key() == QLatin1String("ref")) continue;
            if (!text.isEmpty()) text += QLatin1Char(' ');
            const QJsonValue v = it.value();
            const QString shown = v.isString() ? QLatin1Char('"') + v.toString() + QLatin1Char('"')
                                  : v.isBool() ? (v.toBool() ? "true" : "false")
                                               : QString::number(v.toDouble(), 'g', 17);
            text += it.key() + QLatin1Char(' ') + shown;
        }
        if (arg.contains("ref")) text.prepend(arg.value("ref") == QJsonValue(true) ? "ref " : "ref=? ");
        args << text;
    }
    return request.value("op").toString() + QLatin1Char('(') + args.join(", ") + QLatin1Char(')');
}

// Answers every request at once and keeps the lines as received.
class RecordingServer {
public:
    RecordingServer()
        : m_server([this](QTcpSocket& socket) { serve(socket); })
    {
    }
    quint16 port() const { return m_server.port(); }
    QStringList requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    void serve(QTcpSocket& socket)
    {
        ScriptedServer::greet(socket);
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
            if (!socket.canReadLine()) {
                socket.waitForReadyRead(20);
                continue;
            }
            const QByteArray line = socket.readLine().trimmed();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests << describeRequest(line);
            }
            const QJsonObject request = QJsonDocument::fromJson(line).object();
            const QByteArray id = QByteArray::number(request.value("id").toInteger());
            const QString op = request.value("op").toString();
            if (op == QLatin1String("SearchCards")) {
                const QByteArray record = QByteArray("W61PC").leftJustified(22, '\0') + QByteArray("\x01\x00", 2);
                ScriptedServer::send(socket, R"({"event":"CardFound","args":[{"i2":3},{"bytes":")"
                                                 + record.toBase64() + R"("}]})");
            }
            const bool hasStatus = op == QLatin1String("OpenCard") || op == QLatin1String("SearchCards");
            ScriptedServer::send(socket, "{\"id\":" + id + (hasStatus ? R"(,"status":{"i2":0}})" : "}"));
            if (op == QLatin1String("OpenCard")) ScriptedServer::send(socket, R"({"event":"SessionStarted","args":[]})");
            if (op == QLatin1String("CloseCard") || op == QLatin1String("SearchCards")) return;
        }
    }

    std::mutex m_mutex;
    QStringList m_requests;
    ScriptedServer m_server;
};

class Wire : public WindowTestFixture {
protected:
    static app::MainWindowParts parts()
    {
        auto parts = app::networkParts();
        parts.synopComponents = [] { return std::unique_ptr<synop::ISynopComponent>(); };
        return parts;
    }

};

}  // namespace

TEST_F(Wire, SessionModeControlAndAutoSendEveryArgumentWithItsTypeAndReference)
{
    RecordingServer server;
    settings::WriteSetting(kApp, "HostName", QStringLiteral("127.0.0.1"));
    settings::WriteSetting(kApp, "HostPort", int32_t{server.port()});
    settings::WriteSetting(kApp, "CardNumber", int32_t{1});
    settings::WriteSetting(kApp, "IF-Input", int32_t{2});
    settings::WriteSetting(kApp, "IF-Freqs", int32_t{455000});
    app::MainWindow window(parts());
    window.Load();
    window.show();

    window.controls().Connect->click();
    WAIT_FOR_TRUE(window.state().bSessionUp, 10000);
    for (int panel = 1; panel <= 6; ++panel) window.handlers().PanelClick(panel);
    window.controls().Auto->click();
    window.controls().Connect->click();
    boxes.removeAll(QStringLiteral("Cirrulet Control (Cirrulet.dll) not found\r\nSynop decoder will not be available"));
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();

    const QString port = QString::number(server.port());
    EXPECT_EQ(server.requests(),
              (QStringList{
                  "OpenCard(ref str \"127.0.0.1\", ref i4 " + port + ", ref i2 1)",
                  // SessionStarted, with no mode reported yet
                  "SetInput(ref i2 2, i2 70, ref i4 455000, i2 -1)",
                  // the Mode, Speed, Shift and Polar panels
                  "SetMode(str \"ms\", str \"BAUDOT\", i2 -1, i2 -1, i2 -1, str \"\", bool false)",
                  "SetInput(ref i2 2, i2 70, ref i4 455000, i2 -1)",
                  "SetMode(str \"\", str \"\", ref r8 50, i2 -1, i2 -1, str \"\", bool false)",
                  "SetMode(str \"\", str \"\", i2 -1, ref r8 425, i2 -1, str \"\", bool false)",
                  "SetMode(str \"\", str \"\", i2 -1, i2 -1, ref i2 1, str \"\", bool false)",
                  // the Auto sequence
                  "SetDecoderOptions(i2 -1, i4 1, i4 -1, i2 5)",
                  "SetMode(str \"ms\", str \"BAUDOT\", i2 -1, i2 -1, i2 -1, i2 -1, bool false)",
                  "SetInput(ref i2 2, i2 40, ref i4 455000, i2 -1)",
                  "SetCentreShift(i2 2100, i2 850)",
                  "SetAls(i4 2)",
                  "SetAls(i4 1)",
                  "SetMode(str \"ms\", str \"BAUDOT\", i2 -1, i2 -1, i2 -1, i2 -1, bool true)",
                  "CloseCard()",
              }));
}

TEST_F(Wire, TheCardSearchSendsTheTypedHostAsTextAndThePortAsADouble)
{
    RecordingServer server;
    app::MainWindow window(parts());
    bool found = false;
    QObject::connect(&window, &app::MainWindow::configDialogCreated, [&](config::ConfigDialog* dialog) {
        QObject::connect(dialog, &config::ConfigDialog::activated, [&](config::ConfigForm* form) {
            QMetaObject::invokeMethod(
                form,
                [&, form] {
                    form->vHostNam->setText(QStringLiteral("127.0.0.1"));
                    form->vHostSvc->setText(QString::number(server.port()));
                    form->searchButton->click();
                    found = form->vCardNum[2]->isEnabled();
                    form->cancelButton->click();
                },
                Qt::QueuedConnection);
        });
    });
    window.Load();  // nothing configured: the dialog opens at start-up
    EXPECT_TRUE(found);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    EXPECT_EQ(server.requests(), QStringList{"SearchCards(str \"127.0.0.1\", r8 " + QString::number(server.port()) + ")"});
}
