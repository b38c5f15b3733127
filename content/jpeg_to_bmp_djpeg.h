/* Forced in ahead of every djpeg front-end source file that the client
 * compiles (see cmake/jpeg.cmake). The djpeg program ends the process on any
 * error and leaves its files to the operating system; inside the client the
 * same code must hand every failure back to ConvertJpegToBmp instead. So the
 * few calls that matter are led to jpeg_to_bmp.cpp, which keeps track of the
 * files and the decompressor and releases them before it returns. */
#ifndef VELMOR_JPEG_TO_BMP_DJPEG_H
#define VELMOR_JPEG_TO_BMP_DJPEG_H

#include <stdio.h>
#include <stdlib.h>

/* djpeg's main, called in-process. */
#define main velmor_djpeg_main

/* Ending the process becomes a jump back to the caller's recovery point. */
void velmor_djpeg_exit(int status) __attribute__((noreturn));
#define exit velmor_djpeg_exit

/* Files are tracked so that a failure can close them. */
FILE *velmor_djpeg_fopen(const char *path, const char *mode);
int velmor_djpeg_fclose(FILE *file);
#define fopen velmor_djpeg_fopen
#define fclose velmor_djpeg_fclose

/* The client has no console: the front end's remarks on stderr are dropped. */
int velmor_djpeg_fprintf(FILE *stream, const char *format, ...);
#define fprintf velmor_djpeg_fprintf

/* The error manager that jumps back, the decompressor to release, and the
 * picture size limit. The prototypes come from jpeglib.h under these names. */
#define jpeg_std_error velmor_djpeg_std_error
#define jpeg_CreateDecompress velmor_djpeg_create_decompress
#define jpeg_start_decompress velmor_djpeg_start_decompress

#endif
