/* giflib's side of the GIF scene as a process: the file decoded with
 * DGifSlurp and its first frame composited onto the logical screen in BGR,
 * what a program built on giflib does before it can show a GIF. */
#include <gif_lib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    int error = 0;
    GifFileType* gif = argc == 2 ? DGifOpenFileName(argv[1], &error) : NULL;
    if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
        fprintf(stderr, "giflib_scene: cannot read %s\n", argc == 2 ? argv[1] : "(no file)");
        return 1;
    }
    const int sw = gif->SWidth, sh = gif->SHeight;
    const size_t pitch = ((size_t)sw * 3 + 3) / 4 * 4;
    unsigned char* screen = calloc((size_t)sh, pitch);
    const SavedImage* first = &gif->SavedImages[0];
    const ColorMapObject* map = first->ImageDesc.ColorMap ? first->ImageDesc.ColorMap : gif->SColorMap;
    if (!screen || !map)
        return 1;
    const GifImageDesc* d = &first->ImageDesc;
    for (int y = 0; y < d->Height && d->Top + y < sh; ++y) {
        const GifByteType* in = first->RasterBits + (size_t)y * d->Width;
        unsigned char* p = screen + (size_t)(d->Top + y) * pitch + (size_t)d->Left * 3;
        for (int x = 0; x < d->Width && d->Left + x < sw; ++x, p += 3) {
            const GifColorType c = map->Colors[in[x] < map->ColorCount ? in[x] : 0];
            p[0] = c.Blue;
            p[1] = c.Green;
            p[2] = c.Red;
        }
    }
    printf("%dx%d, first pixel %u\n", sw, sh, screen[0]);
    free(screen);
    DGifCloseFile(gif, &error);
    return 0;
}
