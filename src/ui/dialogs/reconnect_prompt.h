#pragma once

class QString;
class QWidget;

// Asks whether to rejoin the room whose connection broke off. Runs its own modal event
// loop; true when the user chose to reconnect (Escape and closing mean "leave").
bool askReconnect(const QString &roomName, QWidget *parent);
