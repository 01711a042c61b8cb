/*
 * gen_huge - writes one photo-like test picture far larger than the screen, row by row
 * (ImageMagick's policy refuses pictures of this size, and would need gigabytes).
 *
 *   gen_huge jpeg|png WIDTH HEIGHT RRGGBB SEED OUT
 *
 * Content: a smooth field bilinearly interpolated from a coarse random grid, kept
 * unsaturated, plus noise, so that JPEG entropy and decode cost are photo-like. The
 * marker patches (four corners and the centre, in RRGGBB) are placed as gen_images.py
 * places them, so the benchmark's probe finds the picture on screen.
 *
 * Build: cc -O2 -o gen_huge gen_huge.c -ljpeg -lpng
 */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>
#include <png.h>

#define GRID 9

static uint32_t state;
static uint32_t next_random(void) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

struct picture {
    long width, height;
    unsigned char marker[3];
    long rects[5][4]; /* x0, y0, x1, y1 inclusive */
    float grid[GRID][GRID][3];
};

static long round_long(double v) { return (long)(v + 0.5); }

static void place_markers(struct picture *p) {
    long w = p->width, h = p->height, shorter = w < h ? w : h;
    long s = round_long(0.10 * shorter), m = round_long(0.04 * shorter);
    long c = round_long(0.16 * shorter);
    long r[5][4] = {{m, m, m + s - 1, m + s - 1},
                    {w - m - s, m, w - m - 1, m + s - 1},
                    {m, h - m - s, m + s - 1, h - m - 1},
                    {w - m - s, h - m - s, w - m - 1, h - m - 1},
                    {(w - c) / 2, (h - c) / 2, (w - c) / 2 + c - 1, (h - c) / 2 + c - 1}};
    memcpy(p->rects, r, sizeof r);
}

/* One row of RGB samples. */
static void make_row(const struct picture *p, long y, unsigned char *row) {
    double gy = (double)y / (double)(p->height - 1) * (GRID - 1);
    int iy = (int)gy < GRID - 2 ? (int)gy : GRID - 2;
    double fy = gy - iy;
    for (long x = 0; x < p->width; ++x) {
        double gx = (double)x / (double)(p->width - 1) * (GRID - 1);
        int ix = (int)gx < GRID - 2 ? (int)gx : GRID - 2;
        double fx = gx - ix;
        for (int k = 0; k < 3; ++k) {
            double v = (1 - fy) * ((1 - fx) * p->grid[iy][ix][k] + fx * p->grid[iy][ix + 1][k]) +
                       fy * ((1 - fx) * p->grid[iy + 1][ix][k] + fx * p->grid[iy + 1][ix + 1][k]);
            v += (double)(next_random() % 41) - 20.0;
            row[3 * x + k] = (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    for (int r = 0; r < 5; ++r) {
        if (y < p->rects[r][1] || y > p->rects[r][3]) continue;
        for (long x = p->rects[r][0]; x <= p->rects[r][2]; ++x) memcpy(row + 3 * x, p->marker, 3);
    }
}

static int write_jpeg(const struct picture *p, FILE *out, unsigned char *row) {
    struct jpeg_compress_struct info;
    struct jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = (JDIMENSION)p->width;
    info.image_height = (JDIMENSION)p->height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    for (long y = 0; y < p->height; ++y) {
        make_row(p, y, row);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return 0;
}

static int write_png(const struct picture *p, FILE *out, unsigned char *row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) return 1;
    png_init_io(png, out);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, (png_uint_32)p->width, (png_uint_32)p->height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (long y = 0; y < p->height; ++y) {
        make_row(p, y, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: gen_huge jpeg|png WIDTH HEIGHT RRGGBB SEED OUT\n");
        return 2;
    }
    static struct picture p;
    p.width = atol(argv[2]);
    p.height = atol(argv[3]);
    unsigned long colour = strtoul(argv[4], NULL, 16);
    p.marker[0] = (unsigned char)(colour >> 16);
    p.marker[1] = (unsigned char)(colour >> 8);
    p.marker[2] = (unsigned char)colour;
    state = (uint32_t)strtoul(argv[5], NULL, 10) * 2654435761u + 1u;
    if (p.width < 16 || p.height < 16) return 2;
    for (int y = 0; y < GRID; ++y)
        for (int x = 0; x < GRID; ++x) {
            /* grey-ish: a common level, each channel a little off it */
            double level = 60 + next_random() % 140;
            for (int k = 0; k < 3; ++k) p.grid[y][x][k] = (float)(level + (int)(next_random() % 31) - 15);
        }
    place_markers(&p);
    unsigned char *row = malloc((size_t)p.width * 3);
    FILE *out = fopen(argv[6], "wb");
    if (row == NULL || out == NULL) return 1;
    int failed = strcmp(argv[1], "png") == 0 ? write_png(&p, out, row) : write_jpeg(&p, out, row);
    if (fclose(out) != 0) failed = 1;
    free(row);
    return failed;
}
