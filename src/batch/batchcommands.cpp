#include "main/form1.h"

void Form1::Command4_Click() {}
void Form1::Command5_Click() {}
void Form1::Command6_Click() {}
void Form1::Command7_Click() {}
void Form1::Spacekiller() {}
void Form1::UBarKiller() {}
void Form1::RenREname() {}
void Form1::RenREKaku() {}
