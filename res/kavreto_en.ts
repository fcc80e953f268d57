<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>CConverterDlg</name>
    <message>
        <source>找不到演示文稿：%1</source>
        <translation>Presentation not found: %1</translation>
    </message>
    <message>
        <source>初始化失败!</source>
        <translation>Initialisation failed!</translation>
    </message>
    <message>
        <source>PowerPoint文件(*.ppt)</source>
        <translation>PowerPoint files (*.ppt)</translation>
    </message>
    <message>
        <source>%1 帧/秒</source>
        <translation>%1 fps</translation>
    </message>
    <message>
        <source>输出文件不能是源演示文稿本身，请另选一个文件名。</source>
        <translation>The output file cannot be the presentation itself; please choose another file name.</translation>
    </message>
    <message>
        <source>准备转换...</source>
        <translation>Preparing...</translation>
    </message>
    <message>
        <source>无法创建工作文件：%1</source>
        <translation>Cannot create a work file in %1</translation>
    </message>
    <message>
        <source>无法导出演示文稿：%1</source>
        <translation>Cannot export the presentation: %1</translation>
    </message>
    <message>
        <source>缓存目录里有 %1 个旧工作文件无法删除（共 %2 MB），可能占满磁盘，请手动删除：%3</source>
        <translation>%1 old work files in the cache directory cannot be deleted (%2 MB in all) and may fill the disk; please delete them by hand: %3</translation>
    </message>
    <message>
        <source>演示文稿已加密（受密码保护）。</source>
        <translation>The presentation is encrypted (password-protected).</translation>
    </message>
    <message>
        <source>转到：%1</source>
        <translation>Slide %1</translation>
    </message>
    <message>
        <source>完成!</source>
        <translation>Done!</translation>
    </message>
    <message>
        <source>视频文件没有完整写入：%1</source>
        <translation>The video file was not written completely: %1</translation>
    </message>
    <message>
        <source>播放器停止响应</source>
        <translation>The player stopped responding</translation>
    </message>
    <message>
        <source>播放器意外退出</source>
        <translation>The player quit unexpectedly</translation>
    </message>
    <message>
        <source>，没有录下任何幻灯片。</source>
        <translation>; no slide was filmed.</translation>
    </message>
    <message>
        <source>，视频只录到第 %1 张幻灯片（已录下的部分已保存）。</source>
        <translation>; the video only reaches slide %1 (what was filmed is kept).</translation>
    </message>
    <message>
        <source>演示文稿无法播放，没有录下任何幻灯片。</source>
        <translation>The presentation could not be played; no slide was filmed.</translation>
    </message>
    <message>
        <source>演示文稿无法完整播放：视频只录到第 %1 张幻灯片（已录下的部分已保存）。</source>
        <translation>The presentation could not be played to its end: the video only reaches slide %1 (what was filmed is kept).</translation>
    </message>
    <message>
        <source>&amp;About KAVRETO...</source>
        <translation>&amp;About KAVRETO...</translation>
    </message>
</context>
<context>
    <name>IDD_ABOUTBOX</name>
    <message>
        <source>About KAVRETO</source>
        <translation>About KAVRETO</translation>
    </message>
    <message>
        <source>KAVRETO Version 1.0</source>
        <translation>KAVRETO Version 1.0</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>演示文稿转视频工具</source>
        <translation>Presentation to video converter</translation>
    </message>
    <message>
        <source>KAVRETO 开发组</source>
        <translation>The KAVRETO developers</translation>
    </message>
</context>
<context>
    <name>IDD_CONVERTER</name>
    <message>
        <source>PPT转视频</source>
        <translation>PPT to Video</translation>
    </message>
    <message>
        <source>分辨率:</source>
        <translation>Resolution:</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>转换</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>质量:</source>
        <translation>Quality:</translation>
    </message>
    <message>
        <source>720*540</source>
        <translation>720*540</translation>
    </message>
    <message>
        <source>640*480</source>
        <translation>640*480</translation>
    </message>
    <message>
        <source>352*288</source>
        <translation>352*288</translation>
    </message>
    <message>
        <source>帧率:</source>
        <translation>FPS:</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
</context>
<context>
    <name>OutputCheck</name>
    <message>
        <source>不支持的输出文件类型“.%1”：这个大小和帧率下可用 %2</source>
        <translation>Unsupported output file type “.%1”: at this size and frame rate these are available: %2</translation>
    </message>
</context>
</TS>
