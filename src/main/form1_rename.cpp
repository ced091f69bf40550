#include "main/form1.h"

void Form1::Text1_KeyPress(int Index, int KeyAscii)
{
    Q_UNUSED(Index);
    Q_UNUSED(KeyAscii);
}
