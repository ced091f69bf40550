#pragma once

#include <QString>
#include <QtGlobal>

// The start number of a serial-number rename as read from its text box.
struct StartNumber
{
    bool valid = false;    // a plain decimal number whose rounded value fits 32 bits
    bool negative = false; // below 0 as typed, before rounding (-0.4 counts)
    qint32 value = 0;      // the nearest whole number, an exact half going to the even one
    int width = 0;         // digits the serial numbers are padded to: set by leading zeros ("001" gives 3)
};

// Reads a plain decimal number with optional sign and fraction, in half-width or full-width
// characters, as a double, and rounds it half to even. Anything else is not valid.
StartNumber readStartNumber(const QString &text);
