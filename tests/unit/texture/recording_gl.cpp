// Stand-ins for the GL and GLU calls that Texture makes, defined in the test program so that
// they take the place of the libraries' own: each call is only counted, so texture tests run
// without a display and can see which calls were made.
#include "tests/unit/texture/recording_gl.h"

#include "platform/gl.h"

std::vector<std::string> glCalls;

namespace {
GLuint nextName = 1;
}

extern "C" {

void glGenTextures(GLsizei n, GLuint* names) {
    glCalls.push_back("glGenTextures");
    for (GLsizei i = 0; i < n; ++i)
        names[i] = nextName++;
}
void glDeleteTextures(GLsizei, const GLuint*) {
    glCalls.push_back("glDeleteTextures");
}
void glBindTexture(GLenum, GLuint) {
    glCalls.push_back("glBindTexture");
}
void glTexParameteri(GLenum, GLenum, GLint) {
    glCalls.push_back("glTexParameteri");
}
void glTexEnvf(GLenum, GLenum, GLfloat) {
    glCalls.push_back("glTexEnvf");
}
void glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*) {
    glCalls.push_back("glTexImage2D");
}
void glTexSubImage2D(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*) {
    glCalls.push_back("glTexSubImage2D");
}
void glEnable(GLenum) {
    glCalls.push_back("glEnable");
}
void glDrawPixels(GLsizei, GLsizei, GLenum, GLenum, const void*) {
    glCalls.push_back("glDrawPixels");
}
GLint gluBuild2DMipmaps(GLenum, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*) {
    glCalls.push_back("gluBuild2DMipmaps");
    return 0;
}
}
