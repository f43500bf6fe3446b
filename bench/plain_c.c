/* The floor of a program's start-up: a plain C program that prints a few
 * lines of help, as velmora-render --help does, linking only the C library. */
#include <stdio.h>

int main(void)
{
    fputs("usage: plain [--help]\n"
          "  prints this text and ends; the start-up every program pays\n",
        stdout);
    return 0;
}
