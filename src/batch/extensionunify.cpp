#include "main/form1.h"

void Form1::Command7_Click() {}
void Form1::RenREKaku() {}
