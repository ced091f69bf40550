#include "main/form1.h"

void Form1::Command1_Click()
{
}

void Form1::Command3_Click()
{
}
