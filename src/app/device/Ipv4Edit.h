#pragma once

#include <QLineEdit>
#include <cstdint>
#include <optional>

namespace korvex {

// An IPv4 address field: four decimal octets separated by dots. Typing is
// limited to what can still become an address; Address() gives the value
// only when all four octets are there. A field can be marked as holding a
// value that is refused (red frame and the reason as its tooltip).
class Ipv4Edit : public QLineEdit {
    Q_OBJECT
public:
    explicit Ipv4Edit(QWidget* parent = nullptr);

    // Host order: the first octet in the top byte.
    std::optional<uint32_t> Address() const;
    void SetAddress(uint32_t hostOrder);
    // Network byte order (first octet in the lowest byte), as the device
    // list keeps addresses.
    std::optional<uint32_t> NetworkAddress() const;
    void SetNetworkAddress(uint32_t networkOrder);

    void SetMarked(bool marked, const QString& reason = QString());
    bool Marked() const { return marked; }

    // The text of a host-order address.
    static QString TextOf(uint32_t hostOrder);
    // Parses "a.b.c.d" (each 0..255, no other characters).
    static std::optional<uint32_t> Parse(const QString& text);

private:
    bool marked = false;
};

} // namespace korvex
