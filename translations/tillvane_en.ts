<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CommandLine</name>
    <message>
        <source>界面语言：en（英文）或 zh（中文）；默认按系统语言。</source>
        <translation>Window language: en (English) or zh (Chinese); by default the system's language.</translation>
    </message>
    <message>
        <source>收据打印机演示与测试工具。</source>
        <translation>Demonstration and test tool for receipt printers.</translation>
    </message>
    <message>
        <source>用 --help 查看选项。</source>
        <translation>See --help for the options.</translation>
    </message>
    <message>
        <source>--lang 只能是 en 或 zh，不能是“%1”。</source>
        <translation>--lang takes en or zh, not &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>多余的参数：%1</source>
        <translation>Unexpected arguments: %1</translation>
    </message>
</context>
<context>
    <name>ConfigFile</name>
    <message>
        <source>它是一个链接，指向的文件不存在</source>
        <translation>it is a link to a file that does not exist</translation>
    </message>
    <message>
        <source>它是一个文件夹</source>
        <translation>it is a folder</translation>
    </message>
    <message>
        <source>它不是普通文件</source>
        <translation>it is not a regular file</translation>
    </message>
    <message>
        <source>无配置文件</source>
        <translation>no configuration file</translation>
    </message>
    <message>
        <source>配置文件：无（使用默认设置）</source>
        <translation>Configuration file: none (default settings)</translation>
    </message>
    <message>
        <source>配置文件：%1</source>
        <translation>Configuration file: %1</translation>
    </message>
    <message>
        <source>配置文件“%1”无法读取：%2。</source>
        <translation>The configuration file &quot;%1&quot; cannot be read: %2.</translation>
    </message>
    <message>
        <source>使用默认设置。</source>
        <translation>Using the default settings.</translation>
    </message>
    <message>
        <source>改为读取“%1”。</source>
        <translation>Reading &quot;%1&quot; instead.</translation>
    </message>
</context>
<context>
    <name>tillvane::TMainForm</name>
    <message>
        <source>打印机状态</source>
        <translation>Printer status</translation>
    </message>
    <message>
        <source>网络打印机</source>
        <translation>Network printer</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>打印机状态 (printer status)</source>
        <translation>Printer status</translation>
    </message>
    <message>
        <source>虚拟打印机</source>
        <translation>Virtual printer</translation>
    </message>
    <message>
        <source>打印结果显示在预览窗口中</source>
        <translation>The paper shows in the preview window</translation>
    </message>
</context>
<context>
    <name>tillvane::VirtualPrinterWindow</name>
    <message>
        <source>Tillvane 虚拟打印机</source>
        <translation>Tillvane virtual printer</translation>
    </message>
    <message>
        <source>缩放</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>保存图片</source>
        <translation>Save picture</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>缺纸</source>
        <translation>Paper out</translation>
    </message>
    <message>
        <source>纸将尽</source>
        <translation>Paper near end</translation>
    </message>
    <message>
        <source>纸仓盖打开</source>
        <translation>Cover open</translation>
    </message>
    <message>
        <source>脱机</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>页数: %1    已接收: %2 字节    未知字节: %3</source>
        <translation>Pages: %1    received: %2 bytes    unknown bytes: %3</translation>
    </message>
    <message>
        <source>纸上还没有内容</source>
        <translation>Nothing has been printed yet</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG pictures (*.png)</translation>
    </message>
    <message>
        <source>图片未能保存。</source>
        <translation>The picture could not be saved.</translation>
    </message>
</context>
</TS>
