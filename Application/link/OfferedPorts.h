#pragma once

// The ports the connection settings offer, COM1 to COM50, as the connection window lists them. A port
// above them still works when a call names it (quorvel-cli --port COM70) but cannot be chosen or stored.
inline constexpr int HighestOfferedPort = 50;
