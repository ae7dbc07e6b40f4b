#pragma once
// The configuration dialog: where the card server is and which card, card
// type, IF input and IF frequency translation the program uses.
//
// The object lives as long as its owner keeps it; each ShowModal() builds a
// fresh window (ConfigForm) from its design values, fills it from the six
// properties and destroys it on closing. The properties and the three
// working selections (the button last picked in each option group) survive
// across showings. The caller reads CardNum() after ShowModal(): > 0 means
// commit the six properties, -1 Cancel, 0 OK without any card chosen.
#include "cardctl/CardControl.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace config {

class ConfigForm;

class ConfigDialog : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString HostNam READ HostNam WRITE setHostNam)
    Q_PROPERTY(QString HostSvc READ HostSvc WRITE setHostSvc)
    Q_PROPERTY(int16_t CardTyp READ CardTyp WRITE setCardTyp)
    Q_PROPERTY(int16_t CardNum READ CardNum WRITE setCardNum)
    Q_PROPERTY(int16_t IFInput READ IFInput WRITE setIFInput)
    Q_PROPERTY(int32_t IFTFreq READ IFTFreq WRITE setIFTFreq)
public:
    // Makes the card control that each showing uses for the card search.
    using CardControlFactory = std::function<std::unique_ptr<cardctl::CardControl>()>;

    static constexpr int32_t kMaxFrequencyTranslation = 21'500'000;
    static inline const QString kDefaultHostName = QStringLiteral("127.0.0.1");
    // Activation places the window this far from its owner's outer corner.
    static constexpr int kOffsetTopTwips = 750;
    static constexpr int kOffsetLeftTwips = 200;

    // Card controls that talk to the card server over the network.
    static CardControlFactory networkCardControls();

    explicit ConfigDialog(CardControlFactory cardControlFactory = networkCardControls(),
                          QObject* parent = nullptr);
    ~ConfigDialog() override;

    // Properties: the let only stores, the get only returns; neither
    // touches a control or validates.
    QString HostNam() const { return m_hostNam; }
    void setHostNam(const QString& value) { m_hostNam = value; }
    QString HostSvc() const { return m_hostSvc; }
    void setHostSvc(const QString& value) { m_hostSvc = value; }
    int16_t CardTyp() const { return m_cardTyp; }
    void setCardTyp(int16_t value) { m_cardTyp = value; }
    int16_t CardNum() const { return m_cardNum; }
    void setCardNum(int16_t value) { m_cardNum = value; }
    int16_t IFInput() const { return m_ifInput; }
    void setIFInput(int16_t value) { m_ifInput = value; }
    int32_t IFTFreq() const { return m_ifTFreq; }
    void setIFTFreq(int32_t value) { m_ifTFreq = value; }

    // Working selections: card number 1..8 (0 none yet), card-type index,
    // IF input 1..4 (0 none yet).
    int16_t selectedCardNumber() const { return m_selCardNum; }
    int16_t selectedCardType() const { return m_selCardTyp; }
    int16_t selectedIFInput() const { return m_selIFInp; }

    // Shows the window modally over owner and returns once it has closed.
    void ShowModal(QWidget* owner);
    // Closes a window still shown (shutdown); the properties stay readable.
    void Unload();

    // The window while it is shown, else nullptr.
    ConfigForm* form() const;
    bool isSearching() const { return m_searching; }

signals:
    // Raised after activation has placed and filled a new window.
    void activated(config::ConfigForm* form);

private:
    // Activation and filling.
    void activate(QWidget* owner);
    static QPoint outerCornerFor(const QWidget* owner);
    void resetCards();
    void fillControls();
    void connectControls();

    // Selecting a button from code raises its click, as a user's click does;
    // deselecting raises nothing.
    void selectCardType(int index);
    void selectCardNumber(int index);
    void selectIFInput(int index);
    void onCardTypeClicked(int index);
    void onCardNumberClicked(int index);
    void onIFInputClicked(int index);

    void onHostPortChanged();
    void onFrequencyChanged();
    void onOk();
    void onCancel();

    // The card search (CardSearch.cpp).
    void connectCardControl();
    void onSearch();
    void onCardFound(int16_t cardNumber, const QByteArray& cardRecord);
    void onErrorReport(const QString& text);
    void onSessionEnded();

    CardControlFactory m_cardControlFactory;
    QPointer<ConfigForm> m_form;
    std::unique_ptr<cardctl::CardControl> m_cardControl;
    bool m_searching = false;

    QString m_hostNam;
    QString m_hostSvc;
    int16_t m_cardTyp = 0;
    int16_t m_cardNum = 0;
    int16_t m_ifInput = 0;
    int32_t m_ifTFreq = 0;

    int16_t m_selCardNum = 0;
    int16_t m_selCardTyp = 0;
    int16_t m_selIFInp = 0;
};

}  // namespace config
