<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CommandLine</name>
    <message>
        <source>界面语言：en（英文）或 zh（中文）；默认按系统语言。</source>
        <translation>Window language: en (English) or zh (Chinese); by default the system&apos;s language.</translation>
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
    <message>
        <source>打开虚拟打印机的预览窗口（不把它设为打印机连接）。</source>
        <translation>Open the virtual printer&apos;s preview (without making it the printer link).</translation>
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
    <name>Operator</name>
    <message>
        <source>数据不能发送!
Please check whether the printer is connected to the specified port correctly</source>
        <translation>Data cannot be sent!
Please check whether the printer is connected to the specified port correctly</translation>
    </message>
    <message>
        <source>完  成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>下 载...</source>
        <translation>Downloading...</translation>
    </message>
    <message>
        <source>串口打开失败！请检查打印机是否正确连接！</source>
        <translation>Serial port open failed! Check that the printer is connected correctly!</translation>
    </message>
    <message>
        <source>并口打开失败！请检查打印机是否正确连接！</source>
        <translation>Parallel port open failed! Check that the printer is connected correctly!</translation>
    </message>
    <message>
        <source>USB口打开失败！请检查打印机是否正确连接！</source>
        <translation>USB port open failed! Check that the printer is connected correctly!</translation>
    </message>
    <message>
        <source>虚拟打印机打开失败！</source>
        <translation>Virtual printer open failed!</translation>
    </message>
    <message>
        <source>端口通讯测试失败!</source>
        <translation>Port communication test failed!</translation>
    </message>
    <message>
        <source>发送数据失败!
            Please check whether the printer is connected to the specified port correctly</source>
        <translation>Sending data failed!
Please check whether the printer is connected to the specified port correctly</translation>
    </message>
    <message>
        <source>打开文件 &quot;Commands.dat&quot;出错！</source>
        <translation>Error opening the file &quot;Commands.dat&quot;!</translation>
    </message>
    <message>
        <source>打开USB失败！</source>
        <translation>Opening USB failed!</translation>
    </message>
    <message>
        <source>网络打印机连接失败！请检查打印机地址和网络连接！</source>
        <translation>Cannot connect to the network printer! Please check the printer address and the network connection!</translation>
    </message>
    <message>
        <source>纸将尽</source>
        <translation>Paper near end</translation>
    </message>
    <message>
        <source>缺纸</source>
        <translation>Paper out</translation>
    </message>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>串口</source>
        <translation>Serial</translation>
    </message>
    <message>
        <source>并口</source>
        <translation>Parallel</translation>
    </message>
    <message>
        <source>USB接口</source>
        <translation>USB</translation>
    </message>
    <message>
        <source>打印机驱动</source>
        <translation>Printer driver</translation>
    </message>
    <message>
        <source>虚拟打印机</source>
        <translation>Virtual printer</translation>
    </message>
    <message>
        <source>网络打印机</source>
        <translation>Network printer</translation>
    </message>
</context>
<context>
    <name>tillvane::TMainForm</name>
    <message>
        <source>端口配置</source>
        <translation>Port Settings</translation>
    </message>
    <message>
        <source>下载图片</source>
        <translation>Download Logos</translation>
    </message>
    <message>
        <source>打印演示</source>
        <translation>Print Demo</translation>
    </message>
    <message>
        <source>清除错误</source>
        <translation>Clear Error</translation>
    </message>
    <message>
        <source>退        出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>打印机类型：</source>
        <translation>Printer model:</translation>
    </message>
    <message>
        <source>串口配置</source>
        <translation>Serial settings</translation>
    </message>
    <message>
        <source>端口名称</source>
        <translation>Port name</translation>
    </message>
    <message>
        <source>数据位数</source>
        <translation>Data bits</translation>
    </message>
    <message>
        <source>奇偶校验</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>停止位</source>
        <translation>Stop bits</translation>
    </message>
    <message>
        <source>流量控制</source>
        <translation>Flow control</translation>
    </message>
    <message>
        <source>并口选择</source>
        <translation>Parallel port</translation>
    </message>
    <message>
        <source>USB口选择</source>
        <translation>USB port</translation>
    </message>
    <message>
        <source>USB接口名称</source>
        <translation>USB device</translation>
    </message>
    <message>
        <source>驱动选择</source>
        <translation>Driver</translation>
    </message>
    <message>
        <source>驱动名称</source>
        <translation>Driver name</translation>
    </message>
    <message>
        <source>打印结果显示在预览窗口中</source>
        <translation>The printout appears in the preview window</translation>
    </message>
    <message>
        <source>确         定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取         消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>零售收据</source>
        <translation>Retail receipts</translation>
    </message>
    <message>
        <source>样品打印</source>
        <translation>Sample</translation>
    </message>
    <message>
        <source>位图条码</source>
        <translation>Logo and bar codes</translation>
    </message>
    <message>
        <source>分类收据</source>
        <translation>Grouped receipt</translation>
    </message>
    <message>
        <source>明细收据</source>
        <translation>Itemised receipt</translation>
    </message>
    <message>
        <source>银行收据</source>
        <translation>Bank receipts</translation>
    </message>
    <message>
        <source>ATM 收据</source>
        <translation>ATM receipt</translation>
    </message>
    <message>
        <source>帐户信息</source>
        <translation>Account statement</translation>
    </message>
    <message>
        <source>帐户信息（大字体）</source>
        <translation>Account (large print)</translation>
    </message>
    <message>
        <source>下载文件打印</source>
        <translation>Print command file</translation>
    </message>
    <message>
        <source>打印到文件</source>
        <translation>Print to file</translation>
    </message>
    <message>
        <source>自动演示</source>
        <translation>Repeated demo</translation>
    </message>
    <message>
        <source>打印份数：</source>
        <translation>Copies:</translation>
    </message>
    <message>
        <source>开始打印</source>
        <translation>Start printing</translation>
    </message>
    <message>
        <source>切刀模式</source>
        <translation>Cutter</translation>
    </message>
    <message>
        <source>全    切</source>
        <translation>Full cut</translation>
    </message>
    <message>
        <source>半    切</source>
        <translation>Partial cut</translation>
    </message>
    <message>
        <source>无 切 刀</source>
        <translation>No cut</translation>
    </message>
    <message>
        <source>返回</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>下载到RAM</source>
        <translation>Download to RAM</translation>
    </message>
    <message>
        <source>马</source>
        <translation>Horse</translation>
    </message>
    <message>
        <source>狮子</source>
        <translation>Lion</translation>
    </message>
    <message>
        <source>地图</source>
        <translation>Map</translation>
    </message>
    <message>
        <source>下载到FLASH</source>
        <translation>Download to flash</translation>
    </message>
    <message>
        <source>龙</source>
        <translation>Dragon</translation>
    </message>
    <message>
        <source>确          定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取          消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>打印机状态</source>
        <translation>Printer Status</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>虚拟打印机</source>
        <translation>Virtual printer</translation>
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
        <source>字符配置</source>
        <translation>Profile</translation>
    </message>
    <message>
        <source>中文 (GBK)</source>
        <translation>Chinese (GBK)</translation>
    </message>
    <message>
        <source>国际 (PC437)</source>
        <translation>International (PC437)</translation>
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
        <source>页数: %1    已接收: %2 字节    未知字节: %3    未绘制: %4</source>
        <translation>Pages: %1    Received: %2 bytes    Unknown bytes: %3    Not drawn: %4</translation>
    </message>
    <message>
        <source>纸上还没有内容</source>
        <translation>Nothing printed yet</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG pictures (*.png)</translation>
    </message>
    <message>
        <source>图片未能保存。</source>
        <translation>The picture could not be saved.</translation>
    </message>
    <message>
        <source>接收打印任务</source>
        <translation>Accept print jobs</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>串口链接</source>
        <translation>Serial link</translation>
    </message>
    <message>
        <source>无（例如 ~/.local/share/tillvane/ttyV0）</source>
        <translation>None (e.g. ~/.local/share/tillvane/ttyV0)</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>来源</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>字节</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>未绘制</source>
        <translation>Not drawn</translation>
    </message>
    <message>
        <source>拒绝</source>
        <translation>Refused</translation>
    </message>
    <message>
        <source>正在接收打印任务：%1</source>
        <translation>Accepting print jobs on %1</translation>
    </message>
    <message>
        <source>，串口链接 %1</source>
        <translation>, serial link %1</translation>
    </message>
    <message>
        <source>接收打印任务未能开始：%1</source>
        <translation>Print jobs cannot be accepted: %1</translation>
    </message>
    <message>
        <source>设置未能保存：%1</source>
        <translation>The settings were not saved: %1</translation>
    </message>
    <message>
        <source>打印任务：%1</source>
        <translation>Print job: %1</translation>
    </message>
    <message>
        <source>任务 %1，结束于：%2%3</source>
        <translation>Job %1, ended by: %2%3</translation>
    </message>
    <message>
        <source>（太长，未显示在纸上）</source>
        <translation> (too long to show on the paper)</translation>
    </message>
</context>
</TS>
