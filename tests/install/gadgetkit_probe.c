/* Links the CMake consumer against notestore::gadgetkit: the colour values
 * read without a dialog having been opened are plain numbers. */
#include <gadgetkit.h>
#include <stdio.h>

int main(void) {
    int32_t red = GetRColorvalue();
    printf("gadgetkit: red component %d\n", (int)red);
    return red >= 0 && red <= 255 ? 0 : 1;
}
