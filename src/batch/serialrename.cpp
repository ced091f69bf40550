#include "main/form1.h"

void Form1::Command6_Click() {}
void Form1::RenREname() {}
